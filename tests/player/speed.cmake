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
