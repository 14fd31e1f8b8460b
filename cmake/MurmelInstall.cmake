# `cmake --install`: one self-contained, user-writable program folder (both programs,
# murmel-cli, the shipped data) under a per-user prefix, launchers in the desktop's
# menu, the ".mvm" type, and the presets when there are none. A reinstall keeps the
# user's files; "uninstall.list" names what scripts/uninstall may take away again.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local/opt/murmel" CACHE PATH "Program folder" FORCE)
endif()

set(programs murmel-cli)
if(MURMEL_GUI)
  list(APPEND programs Murmel Murmelplay)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons DESTINATION .)
# Every path quoted: a prefix may hold ";", blanks or any other character a folder can.
install(CODE "
  set(dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(data \"${CMAKE_SOURCE_DIR}/data\")
  execute_process(COMMAND \"${CMAKE_COMMAND}\" \"-DSOURCE=\${data}\" \"-DDEST=\${dest}\"
                  -P \"${CMAKE_SOURCE_DIR}/cmake/CopyIfAbsent.cmake\" COMMAND_ERROR_IS_FATAL ANY)
  set(programs \"${programs}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/InstallDesktop.cmake\")
")
