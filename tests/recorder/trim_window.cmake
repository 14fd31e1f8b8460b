# The trim window under Qt Test on the offscreen platform, with no sound output.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(trim_window_tests ${CMAKE_CURRENT_LIST_DIR}/trim_window_test.cpp)
  set_target_properties(trim_window_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(trim_window_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_include_directories(trim_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME trim_window_tests
           COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen MURMEL_AUDIO=null
                   $<TARGET_FILE:trim_window_tests>)
  set_tests_properties(trim_window_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
