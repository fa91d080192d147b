# The recorder simulator and the demo device, with the "demo" command of
# tevo-logtool run as a program.
tevo_add_test(NAME demo_test
  SOURCES demo_simulator_test.cpp demo_device_test.cpp demo_route_text_test.cpp child_process_test.cpp
  LIBS tevo_demo tevo_mapdata tevo_render)
target_compile_definitions(demo_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(demo_test tevo-logtool)

# Installing into a temporary prefix: the files a user gets, the installed
# demo command and the installed viewer with its pictures.
add_test(NAME install_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
set_tests_properties(install_test PROPERTIES LABELS install RESOURCE_LOCK window_titles)

# The Debian package made from the install rules, unpacked into a temporary
# folder: its versions and dependencies, its metadata, the unpacked programs
# making and showing a demo device.
add_test(NAME package_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION}
          ${CMAKE_CURRENT_BINARY_DIR}/output/package_test)
set_tests_properties(package_test PROPERTIES LABELS "install;package" RESOURCE_LOCK window_titles TIMEOUT 600)

# The demo map built from the open geodata, once per test run, for the
# golden frames of the cities and the drives measured against its roads.
set(TEVO_DEMO_MAP_FILE "${CMAKE_CURRENT_BINARY_DIR}/output/demo_map/ALLDATA.KWI")
file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/output/demo_map")
add_test(NAME demo_map_build
  COMMAND tevo-mapbuild ${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/geodata.yaml -o ${TEVO_DEMO_MAP_FILE}
          --data ${TEVO_TEST_DATA_DIR}/geodata --quiet)
# GDAL takes its own mutexes, on the builder's reading thread only, in
# orders that ThreadSanitizer's deadlock detector reports though no second
# thread takes them.
set_tests_properties(demo_map_build PROPERTIES FIXTURES_SETUP demo_map
  ENVIRONMENT "TSAN_OPTIONS=detect_deadlocks=0:halt_on_error=1")
tevo_add_test(NAME demo_map_test
  SOURCES demo_map_test.cpp
  LIBS tevo_demo tevo_mapbuild tevo_render tevo_mapwriter tevo_screen_test_support
  LABELS threaded)
target_compile_definitions(demo_map_test PRIVATE TEVO_DEMO_MAP="${TEVO_DEMO_MAP_FILE}"
  TEVO_DEMO_GEODATA_DIR="${TEVO_TEST_DATA_DIR}/geodata"
  TEVO_GEODATA_RECIPE="${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/geodata.yaml"
  TEVO_MAPBUILD="$<TARGET_FILE:tevo-mapbuild>")
add_dependencies(demo_map_test tevo-mapbuild)
# The drive tests read the road graph through GDAL in the test process, with
# the same single-threaded mutex orders as the builder above: the renderer's
# threads are still checked for races, its lock orders by the other tests.
set(demo_map_fixture_file "${CMAKE_CURRENT_BINARY_DIR}/demo_map_test_fixture.cmake")
file(WRITE "${demo_map_fixture_file}"
  "if(demo_map_test_TESTS)\n"
  "  set_tests_properties(\${demo_map_test_TESTS} PROPERTIES FIXTURES_REQUIRED demo_map\n"
  "    ENVIRONMENT_MODIFICATION \"TSAN_OPTIONS=set:detect_deadlocks=0:halt_on_error=1\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${demo_map_fixture_file}")
