# The map builder's OSM reader, fed whole PBF extracts.
tevo_add_fuzzer(NAME fuzz_osm_reader SOURCES osm_reader_fuzz.cpp LIBS tevo_mapbuild)
