# scripts/check's rule on skipped tests, on a made-up ctest run.
murmel_add_gtest(check_skips_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_skips_test.cpp LIBS murmel_platform_system)
target_include_directories(check_skips_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
