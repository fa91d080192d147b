# The map renderer: requests, view and parcel selection (no frames), and
# frames drawn by its worker: fitting, copying, the track overlay, requests
# during frames and the selected day's track under frames.
tevo_add_test(NAME render_view_test
  SOURCES render_view_test.cpp
  LIBS tevo_render tevo_mapwriter)
tevo_add_test(NAME render_frames_test
  SOURCES render_frames_test.cpp
  LIBS tevo_render tevo_mapwriter
  LABELS threaded)
# The drawing passes on maps of one parcel of content, frames aborted in each pass.
tevo_add_test(NAME render_passes_test
  SOURCES render_passes_test.cpp render_golden_test.cpp
  LIBS tevo_render tevo_mapwriter tevo_screen_test_support
  LABELS threaded)
# tevo-logtool render, run as a program.
tevo_add_test(NAME render_command_test
  SOURCES render_command_test.cpp
  LIBS tevo_render tevo_mapwriter)
target_compile_definitions(render_command_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(render_command_test tevo-logtool)
# Views over parcels split into 8 x 8 pieces: their lists, their frames drawn
# whole and as quarters by tevo-logtool render, and the list tools.
tevo_add_test(NAME split_parcel_views_test
  SOURCES split_parcel_views_test.cpp
  LIBS tevo_render tevo_mapwriter)
target_compile_definitions(split_parcel_views_test PRIVATE TEVO_LOGTOOL="$<TARGET_FILE:tevo-logtool>")
add_dependencies(split_parcel_views_test tevo-logtool)
