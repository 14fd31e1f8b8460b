# Recordings left behind by a killed recorder: journals, finding orphans, mending
# and saving them, discarding them; and murmel-cli record killed at random moments.
murmel_add_gtest(recovery_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_journal_test.cpp ${CMAKE_CURRENT_LIST_DIR}/recovery_test.cpp
  LIBS murmel_recorder_core)
target_include_directories(recovery_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
murmel_add_gtest(recovery_kill_tests LABEL interop TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_kill_test.cpp
  LIBS murmel_recorder_core)
target_include_directories(recovery_kill_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(recovery_kill_tests murmel-cli)
murmel_add_gtest(recovery_session_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_session_test.cpp
  LIBS murmel_recorder_core)
target_include_directories(recovery_session_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
