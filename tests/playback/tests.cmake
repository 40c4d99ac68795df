# Player tests. The time text needs no Qt at all; the player tests run the
# real engine on the silent sink over fixtures made here at build time.
brindlo_add_test(playback_core_tests
  SOURCES playback/test_timetext.cpp
  LIBS brindlo_core)
