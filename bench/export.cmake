# Export and speed: exporting a voice mail to MP3 beside mpg123 + fluidsynth + lame, and
# CPU per second of playback at 2x beside 1x.
add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
target_link_libraries(export_bench PRIVATE murmel_player_core)
target_include_directories(export_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/player ${CMAKE_SOURCE_DIR}/tests)
set_target_properties(export_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
