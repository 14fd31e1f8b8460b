murmel_add_gtest(container_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/container_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/container_cipher_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/container_damage_test.cpp
  LIBS murmel_package murmel_platform_system)
target_include_directories(container_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)

murmel_add_gtest(container_cli_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/container_cli_test.cpp
  LIBS murmel_package murmel_platform_system)
target_include_directories(container_cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(container_cli_tests murmel-cli)
