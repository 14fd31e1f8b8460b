# Playback: open-to-first-frame and CPU per second of playback, against mpg123 and fluidsynth.
add_executable(play_bench ${CMAKE_CURRENT_LIST_DIR}/play_bench.cpp)
target_link_libraries(play_bench PRIVATE murmel_player_core)
target_include_directories(play_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/player ${CMAKE_SOURCE_DIR}/tests)
set_target_properties(play_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
