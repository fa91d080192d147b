# NMEA day log: LoadTrack against gpsbabel (goal N1), and a process that
# loads the log once for instruction counts (N2) and peak memory.
tevo_add_benchmark(NAME nmea_bench
  SOURCES nmea_bench.cpp nmea_day_log.cpp
  LIBS tevo_logs)
# The generator of the benchmark log, and the single load: no benchmark
# library, so that the process holds little besides the log.
add_executable(nmea_day_log nmea_day_log_main.cpp nmea_day_log.cpp)
target_include_directories(nmea_day_log PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(nmea_day_log PRIVATE ${TEVO_WARNINGS})
add_executable(nmea_load_once nmea_load_once.cpp)
target_include_directories(nmea_load_once PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(nmea_load_once PRIVATE ${TEVO_WARNINGS})
target_link_libraries(nmea_load_once PRIVATE tevo_logs)
