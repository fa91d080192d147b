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

# The map builder and the map commands of the log tool against broken and
# hostile inputs, run as processes.
tevo_add_test(NAME hostile_inputs_test
  SOURCES hostile_inputs_test.cpp
  LIBS tevo_platform_core)
target_compile_definitions(hostile_inputs_test PRIVATE
  TEVO_MAPBUILD="$<TARGET_FILE:tevo-mapbuild>" TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(hostile_inputs_test tevo-mapbuild tevo-logtool)
