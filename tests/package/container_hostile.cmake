murmel_add_gtest(container_hostile_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/container_hostile_test.cpp
  LIBS murmel_package murmel_platform_system)
target_include_directories(container_hostile_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
