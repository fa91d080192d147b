# NMEA day log: whole processes of `tevo-logtool track --summary` against
# gpsbabel and against the chunked memchr limit (goal N1), LoadTrack in
# process, and a process that loads the log once for instruction counts
# (N2), peak memory and the cold load.
tevo_add_benchmark(NAME nmea_bench
  SOURCES nmea_bench.cpp nmea_day_log.cpp nmea_chunked_scan.cpp
  LIBS tevo_logs)
target_compile_definitions(nmea_bench PRIVATE
  TEVO_LOGTOOL_PATH="$<TARGET_FILE:tevo-logtool>"
  TEVO_LINE_COUNT_PATH="$<TARGET_FILE:nmea_line_count>")
add_dependencies(nmea_bench tevo-logtool nmea_line_count)
# The generator of the benchmark log, the single load and the limit
# process: no benchmark library, so that the processes hold little besides
# the log.
add_executable(nmea_day_log nmea_day_log_main.cpp nmea_day_log.cpp)
target_include_directories(nmea_day_log PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(nmea_day_log PRIVATE ${TEVO_WARNINGS})
add_executable(nmea_load_once nmea_load_once.cpp nmea_chunked_scan.cpp)
target_include_directories(nmea_load_once PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(nmea_load_once PRIVATE ${TEVO_WARNINGS})
target_link_libraries(nmea_load_once PRIVATE tevo_logs)
add_executable(nmea_line_count nmea_line_count.cpp nmea_chunked_scan.cpp)
target_include_directories(nmea_line_count PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(nmea_line_count PRIVATE ${TEVO_WARNINGS})
