# The window: start-up, the width toggle, what a screen reader is told.
brindlo_add_test(window_tests QT_MAIN
  SOURCES window/test_startup.cpp window/test_toggle.cpp window/test_accessibility.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)

# Paths from the command line, a drop or the bus, and the other tags' note,
# through the real window; the program itself for --help and a missing path.
brindlo_add_test(window_open_tests QT_MAIN
  SOURCES window/test_commandline.cpp window/test_othertagnote.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test)
add_dependencies(window_open_tests brindlo)
target_compile_definitions(window_open_tests PRIVATE
  BRINDLO_EXECUTABLE="$<TARGET_FILE:brindlo>" BRINDLO_VERSION="${PROJECT_VERSION}")
