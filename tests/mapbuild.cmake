# The map builder: recipes over small hand-made GeoJSON and OSM XML
# sources, built into maps and read back through the map reader.
tevo_add_test(NAME mapbuild_test
  SOURCES mapbuild_test.cpp road_router_test.cpp
  LIBS tevo_mapbuild tevo_mapdata)
