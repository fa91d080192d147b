# The log store, the recording settings file, the NMEA reader and the
# platform's file layer under them.
tevo_add_test(NAME logs_test
  SOURCES logs_nmea_test.cpp logs_directory_test.cpp logs_settings_test.cpp
  LIBS tevo_logs)
tevo_add_test(NAME logs_threaded_test
  SOURCES logs_selected_track_test.cpp
  LIBS tevo_logs
  LABELS threaded)
tevo_add_test(NAME platform_files_test
  SOURCES platform_files_test.cpp
  LIBS tevo_platform_core)
# The log commands of tevo-logtool, run as programs, with the generator of
# the benchmark log for a drive around Tokyo.
tevo_add_test(NAME logtool_test
  SOURCES logtool_test.cpp ${PROJECT_SOURCE_DIR}/bench/nmea_day_log.cpp
  LIBS tevo_logtool_logs)
target_compile_definitions(logtool_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(logtool_test tevo-logtool)
