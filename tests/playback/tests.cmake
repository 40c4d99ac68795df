# Player tests. The time text needs no Qt at all; the player tests run the
# real engine on the silent sink over fixtures made here at build time.
brindlo_add_test(playback_core_tests
  SOURCES playback/test_timetext.cpp
  LIBS brindlo_core)

set(playback_fixture_dir ${BRINDLO_MP3_FIXTURE_DIR})
set(playback_fixtures cbr vbr-xing vbr-noxing mono8k truncated text empty wave)
list(TRANSFORM playback_fixtures REPLACE "(.+)" "${playback_fixture_dir}/\\1.mp3")
add_custom_command(
  OUTPUT ${playback_fixtures}
  COMMAND ${PROJECT_SOURCE_DIR}/tools/make-fixtures.sh ${playback_fixture_dir}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-fixtures.sh
  COMMENT "Making the player's MP3 fixtures"
  VERBATIM)
add_custom_target(playback_fixtures DEPENDS ${playback_fixtures})

brindlo_add_test(playback_player_tests
  SOURCES playback/playertestmain.cpp playback/test_player.cpp playback/test_playedges.cpp
  LIBS brindlo_platform Qt6::Test PkgConfig::MPG123)
add_dependencies(playback_player_tests playback_fixtures)
target_compile_definitions(playback_player_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")

brindlo_add_test(playback_window_tests QT_MAIN
  SOURCES playback/test_playwindow.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
add_dependencies(playback_window_tests playback_fixtures)
target_compile_definitions(playback_window_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")

brindlo_add_test(playback_strip_tests
  SOURCES playback/playertestmain.cpp playback/test_strip.cpp
  LIBS brindlo_platform Qt6::Test)
add_dependencies(playback_strip_tests playback_fixtures)
target_compile_definitions(playback_strip_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")

# The window into a real sound server: the test starts its own PulseAudio
# with a null sink, so no sound card is needed.
brindlo_add_test(playback_soundserver_tests QT_MAIN
  SOURCES playback/test_soundserver.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
