# Raster speed: our rasterisers against cairo and Anti-Grain Geometry on the
# same shapes (raster_bench), and the instruction count of one city frame
# under callgrind (raster_frame_count). bench/goals/raster checks the goals.
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(LIBAGG REQUIRED IMPORTED_TARGET libagg)

add_library(tevo_raster_workloads STATIC raster_workloads.cpp raster_draw.cpp)
target_include_directories(tevo_raster_workloads PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tevo_raster_workloads PUBLIC tevo_geometry PRIVATE PkgConfig::CAIRO PkgConfig::LIBAGG)
tevo_raster_optimise(tevo_raster_workloads)

tevo_add_benchmark(NAME raster_bench SOURCES raster_bench.cpp LIBS tevo_raster_workloads)

add_executable(raster_frame_count raster_frame_count.cpp)
target_link_libraries(raster_frame_count PRIVATE tevo_raster_workloads)
tevo_raster_optimise(raster_frame_count)
