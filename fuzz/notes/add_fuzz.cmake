# Included by run.sh at project() while the top-level CMakeLists.txt does not add fuzz/ itself:
# defines the fuzz target once the top directory's own targets exist.
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  set(_ferrymark_fuzz_list "${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt")
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL include [[${_ferrymark_fuzz_list}]])")
endif()
