# The drive, folder and file lists kept in step, and the selected file's path.
brindlo_add_test(browse_tests QT_MAIN
  SOURCES browse/test_browse.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
