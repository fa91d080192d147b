# The map builder: recipes over small hand-made GeoJSON and OSM XML
# sources, built into maps and read back through the map reader.
tevo_add_test(NAME mapbuild_test
  SOURCES mapbuild_test.cpp road_router_test.cpp
  LIBS tevo_mapbuild tevo_mapdata)

# The streaming builder with OSM extracts and the standard OSM recipe.
tevo_add_test(NAME mapbuild_osm_test
  SOURCES mapbuild_osm_test.cpp
  LIBS tevo_mapbuild tevo_mapdata)
target_compile_definitions(mapbuild_osm_test PRIVATE
  TEVO_SOURCE_OSM_RECIPE="${PROJECT_SOURCE_DIR}/tools/mapbuild/recipes/osm.yaml")
