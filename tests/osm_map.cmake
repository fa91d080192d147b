# Maps of OSM extracts built with the standard OSM recipe and drawn by the
# renderer. The 64-copy benchmark input is made and built once per test run
# (a second or two), for the golden frames of its map.
set(TEVO_OSM_MAP_DIR "${CMAKE_CURRENT_BINARY_DIR}/output/osm_map")
file(MAKE_DIRECTORY "${TEVO_OSM_MAP_DIR}")
add_test(NAME osm_map_extract
  COMMAND tevo-osm-replicate --copies 64 -o ${TEVO_OSM_MAP_DIR}/copies-64.osm.pbf
          ${TEVO_TEST_DATA_DIR}/geodata/nagoya-osm/nagoya_sakae.osm
          ${TEVO_TEST_DATA_DIR}/geodata/nagoya-osm/nagoya_fushimi.osm)
set_tests_properties(osm_map_extract PROPERTIES FIXTURES_SETUP osm_map_extract)
add_test(NAME osm_map_build
  COMMAND tevo-mapbuild --osm ${TEVO_OSM_MAP_DIR}/copies-64.osm.pbf -o ${TEVO_OSM_MAP_DIR}/ALLDATA.KWI
          --tmp ${TEVO_OSM_MAP_DIR} --quiet)
set_tests_properties(osm_map_build PROPERTIES FIXTURES_REQUIRED osm_map_extract FIXTURES_SETUP osm_map
  ENVIRONMENT "TSAN_OPTIONS=detect_deadlocks=0:halt_on_error=1")
tevo_add_test(NAME osm_map_test
  SOURCES osm_map_test.cpp
  LIBS tevo_mapbuild tevo_render tevo_mapwriter tevo_screen_test_support
  LABELS threaded)
target_compile_definitions(osm_map_test PRIVATE TEVO_OSM_MAP="${TEVO_OSM_MAP_DIR}/ALLDATA.KWI"
  TEVO_TEST_DATA_DIR="${TEVO_TEST_DATA_DIR}"
  TEVO_SOURCE_OSM_RECIPE="${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/osm.yaml")
# GDAL takes its own mutexes on the building thread in orders that
# ThreadSanitizer's deadlock detector reports though no second thread takes
# them; the renderer's threads are still checked for races.
set(osm_map_fixture_file "${CMAKE_CURRENT_BINARY_DIR}/osm_map_test_fixture.cmake")
file(WRITE "${osm_map_fixture_file}"
  "if(osm_map_test_TESTS)\n"
  "  set_tests_properties(\${osm_map_test_TESTS} PROPERTIES FIXTURES_REQUIRED osm_map\n"
  "    ENVIRONMENT_MODIFICATION \"TSAN_OPTIONS=set:detect_deadlocks=0:halt_on_error=1\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${osm_map_fixture_file}")
