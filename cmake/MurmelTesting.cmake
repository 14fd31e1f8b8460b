# murmel_add_gtest(NAME LABEL label [TIMEOUT s] [LOCK resource] SOURCES ... LIBS ...)
find_package(GTest REQUIRED)
# Every test process runs through tests/isolate, which gives it a fresh HOME,
# XDG folders and TMPDIR, so no test touches the user's files or another test's.
set(MURMEL_ISOLATE ${CMAKE_SOURCE_DIR}/tests/isolate)
function(murmel_add_gtest name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT;LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    MURMEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" MURMEL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    MURMEL_BINARY_DIR="${CMAKE_BINARY_DIR}" MURMEL_PROGRAM_DIR="${MURMEL_PROGRAM_DIR}/")
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    CROSSCOMPILING_EMULATOR ${MURMEL_ISOLATE})
  # LOCK names a shared resource the tests change or depend on: CTest runs no
  # two tests holding the same lock at once.
  set(lock)
  if(T_LOCK)
    set(lock RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT} ${lock})
endfunction()
