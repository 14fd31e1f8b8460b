# Crash-safe voice tracks: the writer's periodic updates and the mending of a track
# that was never finalised.
murmel_add_gtest(wave_repair_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wave_repair_test.cpp LIBS murmel_audio)
target_include_directories(wave_repair_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
