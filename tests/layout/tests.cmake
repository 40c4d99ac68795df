# The folders' order of use, read off the includes of src/.
add_test(NAME source_layout
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/layout/check-includes.sh ${PROJECT_SOURCE_DIR}/src)
