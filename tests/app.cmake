# The screens: their model, and flows on the headless backend with golden
# screenshots (tests/golden/; TEVO_UPDATE_GOLDEN=1 rewrites them).
tevo_add_test(NAME app_model_test SOURCES app_model_test.cpp LIBS tevo_app)
add_library(tevo_screen_test_support STATIC screen_support.cpp)
target_include_directories(tevo_screen_test_support PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tevo_screen_test_support PUBLIC tevo_app tevo_platform_headless tevo_mapwriter GTest::gtest)
tevo_add_test(NAME calendar_screen_test SOURCES calendar_screen_test.cpp LIBS tevo_screen_test_support
  LABELS threaded RESOURCE_LOCK window_titles)
target_compile_definitions(calendar_screen_test PRIVATE TEVO_VIEWER="$<TARGET_FILE:tevo-logviewer>")
add_dependencies(calendar_screen_test tevo-logviewer)
tevo_add_test(NAME settings_screen_test SOURCES settings_screen_test.cpp LIBS tevo_screen_test_support)
tevo_add_test(NAME map_screen_test SOURCES map_screen_test.cpp LIBS tevo_screen_test_support LABELS threaded RESOURCE_LOCK window_titles)
