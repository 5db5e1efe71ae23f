# Removes the files and links listed in an install manifest, then each folder
# the installation created (NEW_FOLDERS, noted before it put anything in
# place) that is now empty. A folder that was there before is never removed:
# it may hold, or be waiting for, other programs' files.
#   cmake -DMANIFEST=install_manifest.txt -DNEW_FOLDERS=install_new_folders.txt -P Uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist (run cmake --install first)")
endif()
file(STRINGS "${MANIFEST}" installed)
foreach(path IN LISTS installed)
  if(IS_SYMLINK "${path}" OR EXISTS "${path}")
    message(STATUS "Removing: ${path}")
    file(REMOVE "${path}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
      message(FATAL_ERROR "Could not remove ${path}")
    endif()
  else()
    message(STATUS "Already gone: ${path}")
  endif()
endforeach()

set(folders "")
if(EXISTS "${NEW_FOLDERS}")
  file(STRINGS "${NEW_FOLDERS}" folders)
endif()
# Deepest first, so that a parent is empty once its children are gone.
list(SORT folders ORDER DESCENDING)
set(kept "")
foreach(folder IN LISTS folders)
  file(GLOB left "${folder}/*" "${folder}/.*")
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}" AND NOT left)
    message(STATUS "Removing: ${folder}/")
    file(REMOVE_RECURSE "${folder}")
  elseif(IS_DIRECTORY "${folder}")
    list(APPEND kept "${folder}")
  endif()
endforeach()
# What is still there stays ours to remove after a later installation.
if(kept)
  list(JOIN kept "\n" lines)
  file(WRITE "${NEW_FOLDERS}" "${lines}\n")
else()
  file(REMOVE "${NEW_FOLDERS}")
endif()
