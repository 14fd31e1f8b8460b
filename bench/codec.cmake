# The -lh5- codec against gzip -6 / gunzip and lhasa on 32 MB of voice-mail image and text.
add_executable(codec_bench ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/codec_data.cpp)
target_link_libraries(codec_bench PRIVATE murmel_package)
set_target_properties(codec_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
