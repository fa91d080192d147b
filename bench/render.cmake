# The map renderer on a demo device: frame time at five steps against a
# canvas memset (goal RF1), the same for the map built from the open geodata
# (goal RF3), and opening a day on the headless backend against the frame
# time and LoadTrack (goal RF2).
tevo_add_benchmark(NAME render_bench
  SOURCES render_bench.cpp day_openings.cpp nmea_day_log.cpp
  LIBS tevo_app tevo_platform_headless tevo_mapwriter tevo_mapbuild)
target_compile_definitions(render_bench PRIVATE
  TEVO_GEODATA_RECIPE="${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/geodata.yaml"
  TEVO_GEODATA_DIR="${TEVO_TEST_DATA_DIR}/geodata")
add_dependencies(render_bench tevo_pictures render_first_opening)
# The first opening of a day in a fresh process, linked as the viewer is.
tevo_add_benchmark(NAME render_first_opening
  SOURCES render_first_opening.cpp day_openings.cpp
  LIBS tevo_app tevo_platform_headless)
add_dependencies(render_first_opening tevo_pictures)

# The densest view of every step of a map against a canvas memset (goal MB3).
tevo_add_benchmark(NAME render_steps
  SOURCES render_steps.cpp
  LIBS tevo_render tevo_platform_core)
add_dependencies(render_steps tevo_pictures)
