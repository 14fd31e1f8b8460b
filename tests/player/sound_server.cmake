# The tune's loudness, and what playback and recording do when the sound server goes away.
murmel_add_gtest(music_level_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/music_level_test.cpp LIBS murmel_player_core)
target_include_directories(music_level_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(server_loss_tests LABEL audio TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/server_loss_test.cpp LIBS murmel_player_core)
target_include_directories(server_loss_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(server_loss_tests murmel-cli)
