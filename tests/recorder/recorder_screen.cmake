# The recorder window drawn on a real X server (Xvfb): a screenshot, and the
# Chinese captions drawn with real glyphs.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(recorder_screen_tests ${CMAKE_CURRENT_LIST_DIR}/recorder_screen_test.cpp)
  set_target_properties(recorder_screen_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(recorder_screen_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_include_directories(recorder_screen_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(recorder_screen_tests PRIVATE
    MURMEL_SHOT="${CMAKE_BINARY_DIR}/tests/recorder-main-window.png")
  add_test(NAME recorder_screen_tests
           COMMAND ${MURMEL_ISOLATE} xvfb-run -a -s "-screen 0 1024x768x24"
                   env QT_QPA_PLATFORM=xcb MURMEL_CAPTURE=null MURMEL_AUDIO=null
                   $<TARGET_FILE:recorder_screen_tests>)
  set_tests_properties(recorder_screen_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
