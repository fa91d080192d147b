# Whole programs as a user runs them: the real SDL window under Xvfb, and the
# viewer with the main-menu stand-in as two processes.
add_test(NAME smoke_sdl_window
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/sdl_window.sh $<TARGET_FILE:tevo-logviewer> ${TEVO_TEST_DATA_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/output/smoke_sdl_window)
add_test(NAME smoke_mainmenu_taps
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/mainmenu_taps.sh $<TARGET_FILE:tevo-logviewer>
          $<TARGET_FILE:tevo-mainmenu> ${TEVO_TEST_DATA_DIR} ${CMAKE_CURRENT_BINARY_DIR}/output/smoke_mainmenu_taps)
set_tests_properties(smoke_sdl_window smoke_mainmenu_taps PROPERTIES
  LABELS "smoke;slow" SKIP_RETURN_CODE 77 TIMEOUT 120 RUN_SERIAL TRUE
  ENVIRONMENT "TEVO_PICTURE_DIR=${TEVO_BUILD_PICTURE_DIR}")
