# The RIFF reader is compiled into the target itself, so libFuzzer sees its coverage.
murmel_fuzz_target(riff_read)
foreach(target riff_read_replay riff_read_fuzzer)
  if(TARGET ${target})
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/RiffReader.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform)
  endif()
endforeach()
