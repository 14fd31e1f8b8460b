# The recorder's windows as keyboard and screen-reader users meet them (offscreen).
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(recorder_access_tests ${CMAKE_CURRENT_LIST_DIR}/access_test.cpp)
  set_target_properties(recorder_access_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(recorder_access_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_include_directories(recorder_access_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME recorder_access_tests
           COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen QT_ACCESSIBILITY=1
                   MURMEL_CAPTURE=null MURMEL_AUDIO=null $<TARGET_FILE:recorder_access_tests>)
  set_tests_properties(recorder_access_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
