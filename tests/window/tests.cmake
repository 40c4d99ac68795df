# The window: start-up, the width toggle, what a screen reader is told.
brindlo_add_test(window_tests QT_MAIN
  SOURCES window/test_startup.cpp window/test_toggle.cpp window/test_accessibility.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
