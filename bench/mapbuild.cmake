# Map building at national scale: the generator of real-shaped OSM PBF
# inputs (tevo-osm-replicate, translated copies of the open geodata's OSM
# files) is built with the map builder, since the tests make their 64-copy
# map with it; it is put here, where bench/goals/mapbuild looks for it.
