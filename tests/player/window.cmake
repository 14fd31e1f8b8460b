murmel_add_gtest(player_window_unit_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp LIBS murmel_player_core)

# The window on the offscreen platform (Qt Test), and the programs end to end.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_executable(player_window_tests ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp)
  set_target_properties(player_window_tests PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(player_window_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(player_window_tests PRIVATE murmel_player_window Qt6::Test)
  add_test(NAME player_window_tests COMMAND ${MURMEL_ISOLATE} $<TARGET_FILE:player_window_tests>)
  set_tests_properties(player_window_tests PROPERTIES LABELS gui TIMEOUT 180
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

  murmel_add_gtest(player_end_to_end_tests LABEL gui TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/end_to_end_test.cpp LIBS murmel_package murmel_platform_system murmel_platform_audio)
  target_include_directories(player_end_to_end_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
  add_dependencies(player_end_to_end_tests Murmelplay murmel-cli program_data)
endif()
