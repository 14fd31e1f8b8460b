murmel_add_gtest(recorder_trim_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/trim_test.cpp
  LIBS murmel_recorder_core murmel_player_core)
target_include_directories(recorder_trim_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}
                           ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/player)
