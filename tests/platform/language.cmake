# Both programs' windows in the language the locale picks: once under an English
# locale, once under a Chinese one.
if(MURMEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(interface_language_tests ${CMAKE_CURRENT_LIST_DIR}/interface_language_test.cpp)
  set_target_properties(interface_language_tests PROPERTIES AUTOMOC ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(interface_language_tests PRIVATE murmel_recorder_windows
                        murmel_player_window Qt6::Test)
  target_include_directories(interface_language_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(interface_language_tests PRIVATE
    MURMEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" MURMEL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
  foreach(case "en;en_US.UTF-8" "zh;zh_CN.UTF-8")
    list(GET case 0 language)
    list(GET case 1 locale)
    add_test(NAME interface_language_${language}
             COMMAND ${MURMEL_ISOLATE} env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=${locale}
                     MURMEL_EXPECT_LANGUAGE=${language} QT_QPA_PLATFORM=offscreen
                     MURMEL_CAPTURE=tone:440 MURMEL_AUDIO=null $<TARGET_FILE:interface_language_tests>)
    set_tests_properties(interface_language_${language} PROPERTIES LABELS gui TIMEOUT 180)
  endforeach()
endif()
