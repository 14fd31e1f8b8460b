# The writer's periodic updates (sizes brought up to date and synced every two
# seconds of sound) against the same writer without them, in the same run.
add_executable(wave_update_bench ${CMAKE_CURRENT_LIST_DIR}/wave_update_bench.cpp)
target_link_libraries(wave_update_bench PRIVATE murmel_audio murmel_platform_audio)
set_target_properties(wave_update_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
