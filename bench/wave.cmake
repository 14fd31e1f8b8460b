# The wave file writer (free-space check before every piece) against stdio's buffered fwrite.
add_executable(wave_bench ${CMAKE_CURRENT_LIST_DIR}/wave_bench.cpp)
target_link_libraries(wave_bench PRIVATE murmel_audio)
set_target_properties(wave_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
