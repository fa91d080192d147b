# Map data reader: block cache, pools, management data and parcel index,
# read back from maps made by the map writer.
tevo_add_test(NAME mapdata_test
  SOURCES block_cache_test.cpp parcel_pool_test.cpp parcel_index_test.cpp map_writer_test.cpp
    map_records_test.cpp map_records_pool_test.cpp
  LIBS tevo_mapdata tevo_mapwriter)
target_compile_definitions(mapdata_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(mapdata_test tevo-logtool)

tevo_add_test(NAME mapdata_threads_test
  SOURCES block_cache_threads_test.cpp map_records_threads_test.cpp
  LIBS tevo_mapdata tevo_mapwriter
  LABELS threaded)

# The section writer against the decoders: round trips of every kind, the
# dump of a small map, and sweeps over damaged maps.
tevo_add_test(NAME map_sections_test
  SOURCES map_sections_test.cpp map_damage_test.cpp
  LIBS tevo_mapdata tevo_mapwriter tevo_parcel_dump)
target_compile_definitions(map_sections_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(map_sections_test tevo-logtool)
