murmel_add_gtest(recorder_address_core_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/address_book_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_model_test.cpp
  LIBS murmel_recorder_core)
