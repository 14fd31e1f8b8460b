murmel_add_gtest(desktop_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop_entry_test.cpp ${CMAKE_CURRENT_LIST_DIR}/file_association_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/trash_test.cpp
  LIBS murmel_platform_desktop)
target_include_directories(desktop_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
