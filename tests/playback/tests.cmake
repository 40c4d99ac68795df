# Open, close and the play-time display through the real window.
brindlo_add_test(playback_window_tests QT_MAIN
  SOURCES playback/test_playwindow.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
add_dependencies(playback_window_tests playback_fixtures)
target_compile_definitions(playback_window_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")

# The window into a real sound server: the test starts its own PulseAudio
# with a null sink, so no sound card is needed.
brindlo_add_test(playback_soundserver_tests QT_MAIN
  SOURCES playback/test_soundserver.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
