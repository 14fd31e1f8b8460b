murmel_add_gtest(mail_mapi_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mapi_mail_test.cpp
  LIBS murmel_mail)
target_include_directories(mail_mapi_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/mail)
