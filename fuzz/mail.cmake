murmel_fuzz_target(address_list murmel_mail)
murmel_fuzz_target(header_encoding murmel_mail)
murmel_fuzz_target(smtp_reply murmel_mail)
if(MURMEL_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Coverage inside the mail library as well, so that the fuzzers follow the parsers' branches.
  target_compile_options(murmel_mail PRIVATE -fsanitize=fuzzer-no-link)
endif()
