if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  murmel_add_gtest(recorder_send_window_tests LABEL "gui;net" TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/send_window_test.cpp
    LIBS murmel_recorder_windows Qt6::Test)
  target_include_directories(recorder_send_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests
                             ${CMAKE_SOURCE_DIR}/tests/mail)
endif()
