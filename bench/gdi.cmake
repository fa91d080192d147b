tevo_add_benchmark(NAME gdi_bench SOURCES gdi_bench.cpp label_workload.cpp LIBS tevo_platform_gdi)
