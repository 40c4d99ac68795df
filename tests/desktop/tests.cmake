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
