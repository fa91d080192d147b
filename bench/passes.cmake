# The renderer's drawing passes on the dense city frame and the label
# workload, written as a map: against cairo, plain FreeType and a canvas
# memset (passes_bench), and the instruction count of one frame under
# callgrind (passes_frame_count). bench/goals/passes checks the goals.
add_library(tevo_pass_workloads STATIC pass_workloads.cpp label_workload.cpp freetype_labels.cpp)
target_include_directories(tevo_pass_workloads PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tevo_pass_workloads PUBLIC tevo_render tevo_mapwriter tevo_raster_workloads
  PRIVATE PkgConfig::FREETYPE)
tevo_raster_optimise(tevo_pass_workloads)

tevo_add_benchmark(NAME passes_bench SOURCES passes_bench.cpp LIBS tevo_pass_workloads)
add_dependencies(passes_bench tevo_pictures)

add_executable(passes_frame_count passes_frame_count.cpp)
target_link_libraries(passes_frame_count PRIVATE tevo_pass_workloads)
tevo_raster_optimise(passes_frame_count)
add_dependencies(passes_frame_count tevo_pictures)
