# The recorder window: CPU while recording with the spectrum showing, against
# parecord | lame, and the time to the window shown, against a minimal Qt window.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(recorder_bench ${CMAKE_CURRENT_LIST_DIR}/recorder_bench.cpp)
  target_link_libraries(recorder_bench PRIVATE murmel_recorder_windows)
  target_compile_definitions(recorder_bench PRIVATE MURMEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(recorder_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
