# Sending from the recorder: the send session and the hand-off logic without a
# screen, and the send commands through their dialogs (offscreen).
murmel_add_gtest(recorder_send_tests LABEL net TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/send_session_test.cpp ${CMAKE_CURRENT_LIST_DIR}/hand_off_test.cpp
  LIBS murmel_recorder_core)
target_include_directories(recorder_send_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/mail)
