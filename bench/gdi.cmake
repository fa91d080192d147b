tevo_add_benchmark(NAME gdi_bench SOURCES gdi_bench.cpp LIBS tevo_platform_gdi)
