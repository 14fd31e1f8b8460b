# Install step run by `cmake --install` (see MurmelInstall.cmake) with `dest` (the program
# folder), `data` (the shipped data) and `programs` set: writes uninstall.list and adds
# the desktop integration.
cmake_policy(VERSION 3.25)  # the install script itself sets no policies

# uninstall.list names what the installation wrote, each line "KIND SHA256 NAME": "file"
# for a path in the program folder, "preset" for a preset in the presets folder.
# scripts/uninstall removes a file only while it still has that content, so whatever
# the user changed or put in its place stays.
set(lines "")
foreach(program IN LISTS programs)
  file(SHA256 "${dest}/${program}" hash)
  list(APPEND lines "file ${hash} ${program}")
endforeach()
# The shipped data, where it still is as shipped, except what becomes the user's own
# (settings "user.dll", the address book, the recordings).
file(GLOB_RECURSE data_files RELATIVE "${data}" LIST_DIRECTORIES false "${data}/*")
foreach(entry IN LISTS data_files)
  if(entry MATCHES "^(user\\.dll|Address/.*|MyVoice/.*)$" OR entry MATCHES "(^|/)\\.keep$"
     OR IS_SYMLINK "${dest}/${entry}" OR NOT EXISTS "${dest}/${entry}")
    continue()
  endif()
  file(SHA256 "${data}/${entry}" shipped)
  file(SHA256 "${dest}/${entry}" present)
  if(present STREQUAL shipped)
    list(APPEND lines "file ${present} ${entry}")
  endif()
endforeach()

set(config "$ENV{XDG_CONFIG_HOME}")
if(NOT config MATCHES "^/")
  set(config "$ENV{HOME}/.config")
endif()
set(presets "${config}/vorn/Sonra")
file(GLOB present_presets "${presets}/WaveFormat*")
if(NOT present_presets AND EXISTS "${dest}/murmel-cli")
  execute_process(COMMAND "${dest}/murmel-cli" presets install OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  foreach(name WaveFormat1K WaveFormat2K WaveFormat4K WaveFormat8K)
    if(EXISTS "${presets}/${name}")
      file(SHA256 "${presets}/${name}" hash)
      list(APPEND lines "preset ${hash} ${name}")
    endif()
  endforeach()
elseif(EXISTS "${dest}/uninstall.list")
  # A reinstall keeps the first installation's claim on the presets it wrote.
  file(STRINGS "${dest}/uninstall.list" earlier REGEX "^preset [0-9a-f]+ WaveFormat[1248]K$")
  list(APPEND lines ${earlier})
endif()
list(JOIN lines "\n" text)
file(REMOVE "${dest}/uninstall.list")  # never written through a link
file(WRITE "${dest}/uninstall.list" "${text}\n")

if(EXISTS "${dest}/murmel-cli" AND NOT DEFINED ENV{DESTDIR})
  execute_process(COMMAND "${dest}/murmel-cli" desktop install COMMAND_ERROR_IS_FATAL ANY)
endif()
