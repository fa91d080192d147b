# The map database reader, fed whole map files.
tevo_add_fuzzer(NAME fuzz_mapdata SOURCES mapdata_fuzz.cpp LIBS tevo_mapdata)

# Regenerates the seed corpus: make_mapdata_seeds tests/fuzz/seeds/mapdata
add_executable(make_mapdata_seeds mapdata_seeds.cpp)
target_include_directories(make_mapdata_seeds PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(make_mapdata_seeds PRIVATE tevo_mapwriter)
