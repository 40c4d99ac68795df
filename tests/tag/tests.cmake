# Tag subsystem: the record and its text rules, the number rules of the genre
# code box, and file access on real temporary files.
brindlo_add_test(tag_core_tests
  SOURCES tag/test_tagrecord.cpp tag/test_numberreading.cpp
  LIBS brindlo_core)
brindlo_add_test(tag_file_tests
  SOURCES tag/test_fileaccess.cpp tag/test_peers.cpp tag/tagfixture.cpp
  LIBS brindlo_core brindlo_platform)

# The window's tag and genre handlers, driven through the real widgets.
brindlo_add_test(tag_window_tests QT_MAIN
  SOURCES tag/test_genrewindow.cpp tag/test_tagwindow.cpp tag/test_tagwindowpeers.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
