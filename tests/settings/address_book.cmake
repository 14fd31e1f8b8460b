murmel_add_gtest(address_book_file_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/address_book_file_test.cpp LIBS murmel_settings)
