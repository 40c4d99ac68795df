# The installed program as a desktop sees it. Needs desktop-file-utils and
# appstream (tools/install-deps.sh); the install goes to a temporary DESTDIR.
add_test(NAME desktop_install
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/check-install.sh ${PROJECT_BINARY_DIR})
