# The recorder window under Qt Test on the offscreen platform, recording from a
# tone with no sound output.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(recorder_window_tests ${CMAKE_CURRENT_LIST_DIR}/recorder_window_test.cpp)
  set_target_properties(recorder_window_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(recorder_window_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_include_directories(recorder_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(recorder_window_tests PRIVATE
    MURMEL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data" MURMEL_PROGRAM_DIR="${MURMEL_PROGRAM_DIR}/")
  add_dependencies(recorder_window_tests murmel-cli)
  add_test(NAME recorder_window_tests
           COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen MURMEL_CAPTURE=tone:440
                   MURMEL_AUDIO=null $<TARGET_FILE:recorder_window_tests>)
  set_tests_properties(recorder_window_tests PROPERTIES LABELS gui TIMEOUT 180)
endif()
