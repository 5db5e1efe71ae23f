# cmake --build BUILD --target uninstall: removes what the last
# `cmake --install` listed in its manifest, then the folders that
# installation created and that are left empty.
#
# Included before the folders that install anything, so that its rule runs
# first: it notes which of the install folders (and their parents below the
# prefix) do not exist yet. The list of folders is written at the end of
# configuring (sievetext_write_install_folders()).
include(GNUInstallDirs)
set(SIEVETEXT_NEW_FOLDERS ${CMAKE_BINARY_DIR}/install_new_folders.txt)
set(SIEVETEXT_INSTALL_FOLDERS_SCRIPT ${CMAKE_BINARY_DIR}/install_folders.cmake)
install(CODE "
  include(\"${SIEVETEXT_INSTALL_FOLDERS_SCRIPT}\")
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(new \"\")
  if(EXISTS \"${SIEVETEXT_NEW_FOLDERS}\")
    file(STRINGS \"${SIEVETEXT_NEW_FOLDERS}\" new)
  endif()
  foreach(folder IN LISTS sievetext_install_folders)
    while(NOT folder STREQUAL \".\" AND NOT folder STREQUAL \"\")
      if(NOT IS_DIRECTORY \"\${root}/\${folder}\")
        list(APPEND new \"\${root}/\${folder}\")
      endif()
      get_filename_component(folder \"\${folder}\" DIRECTORY)
    endwhile()
  endforeach()
  list(REMOVE_DUPLICATES new)
  list(JOIN new \"\\n\" lines)
  file(WRITE \"${SIEVETEXT_NEW_FOLDERS}\" \"\${lines}\\n\")" ALL_COMPONENTS)

# Every folder an install rule puts something in, relative to the prefix.
function(sievetext_write_install_folders)
  file(WRITE ${SIEVETEXT_INSTALL_FOLDERS_SCRIPT}
       "set(sievetext_install_folders \"${ARGN}\")\n")
endfunction()

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -DNEW_FOLDERS=${SIEVETEXT_NEW_FOLDERS}
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files"
  VERBATIM)
