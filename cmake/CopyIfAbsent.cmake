# Copies every file below SOURCE to DEST unless DEST already has it. Every path is
# quoted: a folder name may hold ";" or blanks.
cmake_policy(VERSION 3.25)
file(GLOB_RECURSE entries RELATIVE "${SOURCE}" LIST_DIRECTORIES true "${SOURCE}/*")
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${SOURCE}/${entry}")
    file(MAKE_DIRECTORY "${DEST}/${entry}")
  elseif(NOT EXISTS "${DEST}/${entry}" AND NOT IS_SYMLINK "${DEST}/${entry}"
         AND NOT entry MATCHES "(^|/)\\.keep$")
    get_filename_component(dir "${DEST}/${entry}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    if(entry STREQUAL "user.dll")  # the settings file comes to hold the SMTP password
      file(COPY "${SOURCE}/${entry}" DESTINATION "${dir}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
    else()
      file(COPY "${SOURCE}/${entry}" DESTINATION "${dir}")
    endif()
  endif()
endforeach()
