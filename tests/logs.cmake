# The log store, the recording settings file, the NMEA reader, the
# platform's file layer and the log commands of tevo-logtool.
tevo_add_test(NAME logs_test
  SOURCES logs_nmea_test.cpp
  LIBS tevo_logs)
