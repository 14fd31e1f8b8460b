# The recovery dialog at the recorder's start, on the offscreen platform.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(recovery_window_tests ${CMAKE_CURRENT_LIST_DIR}/recovery_window_test.cpp)
  set_target_properties(recovery_window_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(recovery_window_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_include_directories(recovery_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME recovery_window_tests
           COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen MURMEL_CAPTURE=tone:440
                   MURMEL_AUDIO=null $<TARGET_FILE:recovery_window_tests>)
  set_tests_properties(recovery_window_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
