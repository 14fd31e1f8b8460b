murmel_add_gtest(play_unit_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/riff_reader_test.cpp ${CMAKE_CURRENT_LIST_DIR}/devices_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/player_core_test.cpp
  LIBS murmel_player_core)
target_include_directories(play_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(play_interop_tests LABEL interop
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/voice_tracks_test.cpp LIBS murmel_player_core)
target_include_directories(play_interop_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(play_audio_tests LABEL audio
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pulse_test.cpp LIBS murmel_player_core)
target_include_directories(play_audio_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(play_cli_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_play_test.cpp LIBS murmel_package murmel_platform_system)
target_include_directories(play_cli_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(play_cli_tests murmel-cli)
