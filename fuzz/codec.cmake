murmel_fuzz_target(decompress_stream murmel_package)
murmel_fuzz_target(compress_roundtrip murmel_package)
# The fuzzers compile the codec themselves: the libraries carry no coverage
# instrumentation, and without it libFuzzer would only see the harness.
if(TARGET decompress_stream_fuzzer)
  set(codec_sources BitReader.cpp BitWriter.cpp BlockCoder.cpp BlockDecoder.cpp HuffmanCode.cpp Lh5Errors.cpp
      MatchDictionary.cpp PkCompress.cpp PkDecompress.cpp)
  list(TRANSFORM codec_sources PREPEND ${CMAKE_SOURCE_DIR}/package/)
  target_sources(decompress_stream_fuzzer PRIVATE ${codec_sources})
  target_sources(compress_roundtrip_fuzzer PRIVATE ${codec_sources})
endif()
