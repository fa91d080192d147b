tevo_add_test(NAME pictures_test SOURCES pictures_test.cpp LIBS tevo_canvas tevo_platform_core)
