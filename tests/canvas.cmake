tevo_add_test(NAME canvas_test SOURCES canvas_test.cpp LIBS tevo_canvas tevo_platform_core LABELS threaded)
