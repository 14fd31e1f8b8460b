murmel_add_gtest(codec_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_units_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codec_stream_test.cpp
  LIBS murmel_package)
murmel_add_gtest(codec_interop_tests LABEL interop TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_interop_test.cpp LIBS murmel_package)
