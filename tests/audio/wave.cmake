# The wave file writer, the reverb stage and the spectrum computation.
murmel_add_gtest(wave_file_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wave_file_test.cpp LIBS murmel_audio)
murmel_add_gtest(wave_reverb_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wave_reverb_test.cpp LIBS murmel_audio)
murmel_add_gtest(wave_spectrum_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wave_spectrum_test.cpp LIBS murmel_audio)
murmel_add_gtest(wave_interop_tests LABEL interop
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wave_interop_test.cpp LIBS murmel_audio)
foreach(target wave_file_tests wave_interop_tests)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endforeach()
