murmel_add_gtest(play_speed_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/speed_seek_test.cpp LIBS murmel_player_core)
target_include_directories(play_speed_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(play_export_tests LABEL interop
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_test.cpp LIBS murmel_player_core)
target_include_directories(play_export_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(play_export_tests murmel-cli)
murmel_add_gtest(play_speed_cli_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_speed_test.cpp LIBS murmel_package murmel_platform_system)
target_include_directories(play_speed_cli_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(play_speed_cli_tests murmel-cli)

# The window's speed, seeking and export controls on the offscreen platform.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_executable(player_speed_window_tests ${CMAKE_CURRENT_LIST_DIR}/window_speed_test.cpp)
  set_target_properties(player_speed_window_tests PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(player_speed_window_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(player_speed_window_tests PRIVATE murmel_player_window Qt6::Test)
  add_test(NAME player_speed_window_tests COMMAND ${MURMEL_ISOLATE} $<TARGET_FILE:player_speed_window_tests>)
  set_tests_properties(player_speed_window_tests PROPERTIES LABELS gui TIMEOUT 180
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
