murmel_add_gtest(mail_compose_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/compose_test.cpp ${CMAKE_CURRENT_LIST_DIR}/charset_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/reply_test.cpp
  LIBS murmel_mail)
target_include_directories(mail_compose_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)

murmel_add_gtest(mail_smtp_tests LABEL net TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/smtp_test.cpp ${CMAKE_CURRENT_LIST_DIR}/send_job_test.cpp
  LIBS murmel_mail)
target_include_directories(mail_smtp_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(mail_smtp_tests murmel-cli)

# A real Postfix on loopback (Debian's postfix and sasl2-bin); skips where it cannot run.
murmel_add_gtest(mail_postfix_tests LABEL interop TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/postfix_interop_test.cpp
  LIBS murmel_mail)
target_include_directories(mail_postfix_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
