# Seeking and exporting with a long volume schedule beside a short one.
add_executable(schedule_bench ${CMAKE_CURRENT_LIST_DIR}/schedule_bench.cpp)
target_link_libraries(schedule_bench PRIVATE murmel_player_core)
target_include_directories(schedule_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/player ${CMAKE_SOURCE_DIR}/tests)
set_target_properties(schedule_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
