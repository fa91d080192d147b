# Map building at national scale: the generator of real-shaped OSM PBF
# inputs (tevo-osm-replicate, translated copies of the open geodata's OSM
# files) is built with the map builder, since the tests make their 64-copy
# map with it; it is put here, where bench/goals/mapbuild looks for it.

# Node-location lookups: libosmium's sparse file array against the
# builder's compact store, on the nodes and ways of a PBF.
add_executable(tevo-node-lookup node_lookup.cpp)
target_compile_options(tevo-node-lookup PRIVATE ${TEVO_WARNINGS})
target_link_libraries(tevo-node-lookup PRIVATE tevo_mapbuild)
