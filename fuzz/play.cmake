# The RIFF reader is compiled into the target itself, so libFuzzer sees its coverage.
murmel_fuzz_target(riff_read)
foreach(target riff_read_replay riff_read_fuzzer)
  if(TARGET ${target})
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/RiffReader.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform)
  endif()
endforeach()

# The voice device on any file: RIFF walk, PCM conversion and the MPEG decoder.
murmel_fuzz_target(voice_open murmel_platform)
foreach(target voice_open_replay voice_open_fuzzer)
  if(TARGET ${target})
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/VoiceDevice.cpp
                   ${CMAKE_SOURCE_DIR}/platform/RiffReader.cpp ${CMAKE_SOURCE_DIR}/platform/Mp3Decoder.cpp
                   ${CMAKE_SOURCE_DIR}/platform/RenderOutput.cpp)
  endif()
endforeach()
