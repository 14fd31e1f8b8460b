# Loading a container of many entries in reverse order, against the same entries sorted.
# Run: build/bench/container_bench (prints one line per entry count).
add_executable(container_bench ${CMAKE_CURRENT_LIST_DIR}/container_bench.cpp)
target_link_libraries(container_bench PRIVATE murmel_package)
set_target_properties(container_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
