# Trimming: the trim window's waveform and a trim of a 10-minute recording, beside ffmpeg.
add_executable(trim_bench ${CMAKE_CURRENT_LIST_DIR}/trim_bench.cpp)
target_link_libraries(trim_bench PRIVATE murmel_recorder_core)
target_include_directories(trim_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/player ${CMAKE_SOURCE_DIR}/tests)
set_target_properties(trim_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
