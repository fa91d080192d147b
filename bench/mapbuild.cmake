# Map building at national scale: the generator of real-shaped OSM PBF
# inputs (translated copies of the open geodata's OSM files). The goal
# script bench/goals/mapbuild runs it and the builders as whole processes.
find_package(EXPAT REQUIRED)
find_package(ZLIB REQUIRED)
find_package(BZip2 REQUIRED)
find_package(Threads REQUIRED)
add_executable(tevo-osm-replicate osm_replicate.cpp)
target_compile_options(tevo-osm-replicate PRIVATE ${TEVO_WARNINGS})
target_link_libraries(tevo-osm-replicate PRIVATE EXPAT::EXPAT ZLIB::ZLIB BZip2::BZip2 Threads::Threads)

# Node-location lookups: libosmium's sparse file array against the
# builder's compact store, on the nodes and ways of a PBF.
add_executable(tevo-node-lookup node_lookup.cpp)
target_compile_options(tevo-node-lookup PRIVATE ${TEVO_WARNINGS})
target_link_libraries(tevo-node-lookup PRIVATE tevo_mapbuild)
