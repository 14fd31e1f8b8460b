# murmel-cli against hostile and careless input, one group per command.
murmel_add_gtest(hostile_cli_tests LABEL unit TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_package_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hostile_record_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hostile_play_send_test.cpp
  LIBS murmel_package murmel_platform_system)
target_include_directories(hostile_cli_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests
  ${CMAKE_SOURCE_DIR}/tests/player)
add_dependencies(hostile_cli_tests murmel-cli)

# Three hours of PCM recorded, packed and recovered within bounded memory (minutes).
murmel_add_gtest(long_recording_tests LABEL slow TIMEOUT 3600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/long_recording_test.cpp
  LIBS murmel_package murmel_platform_system)
target_include_directories(long_recording_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests
  ${CMAKE_SOURCE_DIR}/tests/player)
add_dependencies(long_recording_tests murmel-cli)
