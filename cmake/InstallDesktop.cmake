# Install step run by `cmake --install` (see MurmelInstall.cmake) with `dest` (the program
# folder) and `programs` set: writes uninstall.list and adds the desktop integration.

# What the installation owns: the programs, the icons and the shipped data, except
# what becomes the user's own (settings "user.dll", the address book, the recordings).
set(owned ${programs} uninstall.list)
file(GLOB_RECURSE data_files RELATIVE ${CMAKE_CURRENT_LIST_DIR}/../data LIST_DIRECTORIES false
     ${CMAKE_CURRENT_LIST_DIR}/../data/*)
foreach(entry IN LISTS data_files)
  if(NOT entry MATCHES "^(user\\.dll|Address/.*|MyVoice/.*)$" AND NOT entry MATCHES "(^|/)\\.keep$")
    list(APPEND owned ${entry})
  endif()
endforeach()

set(config "$ENV{XDG_CONFIG_HOME}")
if(NOT config MATCHES "^/")
  set(config "$ENV{HOME}/.config")
endif()
file(GLOB present_presets "${config}/vorn/Sonra/WaveFormat*")
if(NOT present_presets AND EXISTS "${dest}/murmel-cli")
  execute_process(COMMAND "${dest}/murmel-cli" presets install OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND owned "presets")  # scripts/uninstall removes the presets it finds marked so
elseif(EXISTS "${dest}/uninstall.list")
  file(STRINGS "${dest}/uninstall.list" earlier)
  if("presets" IN_LIST earlier)
    list(APPEND owned "presets")  # a reinstall keeps the first installation's claim
  endif()
endif()
list(JOIN owned "\n" text)
file(WRITE "${dest}/uninstall.list" "${text}\n")

if(EXISTS "${dest}/murmel-cli" AND NOT DEFINED ENV{DESTDIR})
  execute_process(COMMAND "${dest}/murmel-cli" desktop install COMMAND_ERROR_IS_FATAL ANY)
endif()
