# CPU cost of the recorder's chain (minus the device) per preset, against the lame command.
add_executable(acm_bench ${CMAKE_CURRENT_LIST_DIR}/acm_bench.cpp)
target_link_libraries(acm_bench PRIVATE murmel_audio murmel_platform_audio)
set_target_properties(acm_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
