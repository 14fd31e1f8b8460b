murmel_add_gtest(recorder_core_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recording_session_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/recording_saving_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/attachment_list_test.cpp
  LIBS murmel_recorder_core)
target_include_directories(recorder_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
