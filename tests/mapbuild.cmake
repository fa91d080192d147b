# The map builder: recipes over small hand-made GeoJSON and OSM XML
# sources, built into maps and read back through the map reader.
tevo_add_test(NAME mapbuild_test
  SOURCES mapbuild_test.cpp road_router_test.cpp ring_clip_test.cpp box_clip_test.cpp rule_matcher_test.cpp
  LIBS tevo_mapbuild tevo_mapdata)

# The streaming builder with OSM extracts and the standard OSM recipe.
tevo_add_test(NAME mapbuild_osm_test
  SOURCES mapbuild_osm_test.cpp
  LIBS tevo_mapbuild tevo_mapdata)
target_compile_definitions(mapbuild_osm_test PRIVATE
  TEVO_SOURCE_OSM_RECIPE="${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/osm.yaml")

# The map builder and the map commands of the log tool against broken and
# hostile inputs, run as processes.
tevo_add_test(NAME hostile_inputs_test
  SOURCES hostile_inputs_test.cpp
  LIBS tevo_platform_core tevo_mapbuild)
target_compile_definitions(hostile_inputs_test PRIVATE
  TEVO_MAPBUILD="$<TARGET_FILE:tevo-mapbuild>" TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(hostile_inputs_test tevo-mapbuild tevo-logtool)
# GDAL takes its own mutexes (on the thread that opens the sources) in
# orders that ThreadSanitizer's deadlock detector reports though they are
# never taken on two threads; the builder's workers are still checked for
# races.
set(mapbuild_osm_tsan_file "${CMAKE_CURRENT_BINARY_DIR}/mapbuild_osm_test_tsan.cmake")
file(WRITE "${mapbuild_osm_tsan_file}"
  "if(mapbuild_osm_test_TESTS)\n"
  "  set_tests_properties(\${mapbuild_osm_test_TESTS} PROPERTIES\n"
  "    ENVIRONMENT_MODIFICATION \"TSAN_OPTIONS=set:detect_deadlocks=0:halt_on_error=1\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${mapbuild_osm_tsan_file}")
# The long and large geometries take minutes under the sanitizers: the
# sanitizer runs leave out what is labelled slow.
set(hostile_slow_file "${CMAKE_CURRENT_BINARY_DIR}/hostile_inputs_test_slow.cmake")
file(WRITE "${hostile_slow_file}"
  "foreach(slow_test HostileInputTest.LongAndLargeGeometriesBuildInTime HostileInputTest.StarPolygonBuildsInTime)\n"
  "  list(FIND hostile_inputs_test_TESTS \${slow_test} slow_at)\n"
  "  if(hostile_inputs_test_TESTS AND NOT slow_at EQUAL -1)\n"
  "    set_tests_properties(\${slow_test} PROPERTIES LABELS slow)\n"
  "  endif()\n"
  "endforeach()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${hostile_slow_file}")

# The builder's compact temporary files: node locations and spilled features.
tevo_add_test(NAME mapbuild_spill_test
  SOURCES mapbuild_spill_test.cpp
  LIBS tevo_mapbuild)

# The seams between the builder's stages: the chain from a reader to its
# source's spill.
tevo_add_test(NAME mapbuild_stages_test
  SOURCES mapbuild_stages_test.cpp
  LIBS tevo_mapbuild)
