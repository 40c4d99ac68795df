# The event rule and the drive, folder and file lists, driven through the
# real widgets of the window.
brindlo_add_test(controls_tests QT_MAIN
  SOURCES controls/test_eventrule.cpp controls/test_lists.cpp controls/test_button.cpp
          controls/test_textbox.cpp controls/test_diskwait.cpp
  LIBS brindlo_window brindlo_test_support brindlo_slowdisk Qt6::Test)
