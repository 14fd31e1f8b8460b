murmel_add_gtest(safe_file_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/safe_file_test.cpp
  LIBS murmel_platform_system)
target_include_directories(safe_file_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
