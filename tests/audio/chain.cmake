murmel_add_gtest(chain_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/chain_wavein_test.cpp
  LIBS murmel_audio)
# These tests add sources to the shared sound server or count on its having none.
murmel_add_gtest(chain_pulse_tests LABEL audio TIMEOUT 180 LOCK sound_server_sources
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chain_pulse_test.cpp
  LIBS murmel_audio)
target_include_directories(chain_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_LIST_DIR})
target_include_directories(chain_pulse_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(chain_pulse_tests murmel-cli)
murmel_add_gtest(chain_record_tests LABEL interop
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chain_record_test.cpp LIBS murmel_platform_system)
target_include_directories(chain_record_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(chain_record_tests murmel-cli)
