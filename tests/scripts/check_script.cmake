# scripts/check's helpers: its rule on skipped tests, its private PulseAudio.
murmel_add_gtest(check_script_tests LABEL unit TIMEOUT 60
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_script_test.cpp LIBS murmel_platform_system)
target_include_directories(check_script_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
