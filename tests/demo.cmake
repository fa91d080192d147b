# The recorder simulator and the demo device, with the "demo" command of
# tevo-logtool run as a program.
tevo_add_test(NAME demo_test
  SOURCES demo_simulator_test.cpp demo_device_test.cpp
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
