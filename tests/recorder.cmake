# The recorder's parts: sentences, time and days, the recording window, the
# day files.
tevo_add_test(NAME recorder_test
  SOURCES recorder_test.cpp
  LIBS tevo_recorder)
# tevo-recorder as a program against a real gpsd that gpsfake starts and
# feeds (Debian's gpsd and gpsd-clients): label gpsd.
tevo_add_test(NAME recorder_gpsd_test
  SOURCES recorder_gpsd_test.cpp
  LIBS tevo_recorder tevo_demo
  LABELS gpsd)
target_compile_definitions(recorder_gpsd_test PRIVATE TEVO_RECORDER="$<TARGET_FILE:tevo-recorder>"
  TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(recorder_gpsd_test tevo-recorder tevo-logtool)
