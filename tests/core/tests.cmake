# The pure logic: no Qt, no display.
brindlo_add_test(core_tests
  SOURCES core/test_fullpath.cpp core/test_genrecatalogue.cpp core/test_numberreading.cpp
          core/test_tagrecord.cpp core/test_timetext.cpp core/test_othertags.cpp
  LIBS brindlo_core)

# The MP3 length reader against libmpg123's full scan on the player's fixtures.
brindlo_add_test(mp3length_tests
  SOURCES core/test_mp3length.cpp
  LIBS brindlo_core brindlo_files PkgConfig::MPG123)
add_dependencies(mp3length_tests playback_fixtures)
target_compile_definitions(mp3length_tests PRIVATE BRINDLO_MP3_FIXTURES="${BRINDLO_MP3_FIXTURE_DIR}")
