# The player on the silent sink over MP3 fixtures made here at build time.
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

brindlo_add_test(player_tests
  SOURCES player/playertestmain.cpp player/test_player.cpp player/test_playedges.cpp
  LIBS brindlo_player Qt6::Test PkgConfig::MPG123)
add_dependencies(player_tests playback_fixtures)
target_compile_definitions(player_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")

brindlo_add_test(player_strip_tests
  SOURCES player/playertestmain.cpp player/test_strip.cpp
  LIBS brindlo_player Qt6::Test)
add_dependencies(player_strip_tests playback_fixtures)
target_compile_definitions(player_strip_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${playback_fixture_dir}")
