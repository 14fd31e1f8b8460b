# The address page and the settings dialog on the offscreen platform. The window
# sources are compiled in, so the test needs no main window.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  set(address_window_sources AddressBookPage AddressDialog FaceImages FormNewAdd FormEditAdd FormSetup)
  list(TRANSFORM address_window_sources PREPEND ${CMAKE_SOURCE_DIR}/recorder/)
  set(address_window_forms ${address_window_sources})
  list(FILTER address_window_forms INCLUDE REGEX "/Form")
  list(TRANSFORM address_window_sources APPEND .cpp)
  list(TRANSFORM address_window_forms APPEND .ui)
  add_executable(address_window_tests ${CMAKE_CURRENT_LIST_DIR}/address_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModalDriver.h
    ${address_window_sources} ${address_window_forms} ${CMAKE_SOURCE_DIR}/recorder/faces.qrc)
  set_target_properties(address_window_tests PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(address_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/recorder
    ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(address_window_tests PRIVATE murmel_recorder_core Qt6::Widgets Qt6::Test)
  target_compile_definitions(address_window_tests PRIVATE MURMEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME address_window_tests
    COMMAND ${MURMEL_ISOLATE} env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:address_window_tests>)
  set_tests_properties(address_window_tests PROPERTIES LABELS gui TIMEOUT 120)
endif()
