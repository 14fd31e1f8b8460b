# Installing for daily use and uninstalling, as scripts/install and scripts/uninstall do.
if(MURMEL_GUI)
  murmel_add_gtest(install_tests LABEL unit TIMEOUT 300
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/install_test.cpp LIBS murmel_package murmel_platform_system)
  target_include_directories(install_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/player)
  add_dependencies(install_tests Murmel Murmelplay murmel-cli)
endif()
