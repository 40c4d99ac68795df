# The genre list and the genre code box kept in step.
brindlo_add_test(genre_tests QT_MAIN
  SOURCES genre/test_genrewindow.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
