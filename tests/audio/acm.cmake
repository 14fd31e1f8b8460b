# The Audio Compression Manager layer and the ACM converter element.
murmel_add_gtest(acm_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/acm_layer_test.cpp ${CMAKE_CURRENT_LIST_DIR}/acm_converter_test.cpp
  LIBS murmel_audio murmel_platform_audio)
target_include_directories(acm_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_LIST_DIR})
