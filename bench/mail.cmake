# The SMTP client sending a 20 MB attachment against curl, and the cancel latency.
add_executable(mail_bench ${CMAKE_CURRENT_LIST_DIR}/mail_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/mail_sink.cpp)
target_link_libraries(mail_bench PRIVATE murmel_mail Threads::Threads)
set_target_properties(mail_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
