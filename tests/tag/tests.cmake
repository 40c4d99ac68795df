# The tag reader and writer, driven through the real widgets, with peer tools
# reading what was saved.
brindlo_add_test(tag_tests QT_MAIN
  SOURCES tag/test_tagwindow.cpp tag/test_tagwindowpeers.cpp tag/test_savefailuretext.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
