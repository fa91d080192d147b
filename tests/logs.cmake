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
