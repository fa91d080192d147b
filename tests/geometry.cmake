tevo_add_test(NAME geometry_test SOURCES geometry_test.cpp LIBS tevo_geometry)
