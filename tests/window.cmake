tevo_add_test(NAME window_test SOURCES window_test.cpp LIBS tevo_platform_headless LABELS threaded RESOURCE_LOCK window_titles)
target_compile_definitions(window_test PRIVATE TEVO_MAINMENU_PATH="$<TARGET_FILE:tevo-mainmenu>")
add_dependencies(window_test tevo-mainmenu)
