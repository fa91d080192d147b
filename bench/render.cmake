# The map renderer on a demo device: frame time at five steps against a
# canvas memset (goal RF1), and opening a day on the headless backend against
# the frame time and LoadTrack (goal RF2).
tevo_add_benchmark(NAME render_bench
  SOURCES render_bench.cpp nmea_day_log.cpp
  LIBS tevo_app tevo_platform_headless tevo_mapwriter)
add_dependencies(render_bench tevo_pictures)
