tevo_add_test(NAME gdi_text_test SOURCES gdi_text_test.cpp LIBS tevo_platform_gdi)
tevo_add_test(NAME gdi_draw_test SOURCES gdi_draw_test.cpp LIBS tevo_platform_gdi)
tevo_add_test(NAME gdi_threads_test SOURCES gdi_threads_test.cpp LIBS tevo_platform_gdi LABELS threaded)
tevo_add_test(NAME gdi_fallback_test SOURCES gdi_fallback_test.cpp LIBS tevo_platform_gdi)
