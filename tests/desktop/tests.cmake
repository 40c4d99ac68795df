# MPRIS on a session bus the test starts itself (dbus-daemon, ended by its
# PID), with playerctl driving it where it is installed.
brindlo_add_test(mpris_tests QT_MAIN
  SOURCES desktop/test_mpris.cpp
  LIBS brindlo_window brindlo_test_support Qt6::Test Qt6::DBus)
set_target_properties(mpris_tests PROPERTIES AUTOMOC ON)
add_dependencies(mpris_tests playback_fixtures)
target_compile_definitions(mpris_tests PRIVATE
  BRINDLO_PLAYBACK_FIXTURES="${BRINDLO_MP3_FIXTURE_DIR}")

# The installed program as a desktop sees it. Needs desktop-file-utils and
# appstream (tools/install-deps.sh); the install goes to a temporary DESTDIR.
add_test(NAME desktop_install
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/check-install.sh ${PROJECT_BINARY_DIR})

# The Debian package, made by tools/package.sh from this build's program (no
# second compile). Needs debhelper and lintian (tools/install-deps.sh).
add_test(NAME debian_package
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/check-package.sh
          ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
# lintian alone takes most of a minute: start it first so it runs beside the rest.
set_tests_properties(debian_package PROPERTIES COST 1000)
