# The address page and the settings dialog on the offscreen platform: on a small
# host with the page's widgets, and in the recorder's main window.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_executable(address_window_tests ${CMAKE_CURRENT_LIST_DIR}/address_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModalDriver.h)
  set_target_properties(address_window_tests PROPERTIES AUTOMOC ON
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(address_window_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(address_window_tests PRIVATE murmel_recorder_windows Qt6::Test)
  target_compile_definitions(address_window_tests PRIVATE MURMEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME address_window_tests
    COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen MURMEL_CAPTURE=null MURMEL_AUDIO=null
            $<TARGET_FILE:address_window_tests>)
  set_tests_properties(address_window_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
