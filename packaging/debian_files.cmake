# Run by CPack on the staged tree of each package, before it is packed: adds
# the files Debian wants in every package (copyright, change log) and
# compresses the man pages, as Debian's tools would.
set(sources "${CPACK_SIEVETEXT_SOURCE_DIR}/packaging")
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}")
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "No staged tree for the component ${component} at ${root}")
  endif()

  set(doc "${root}/share/doc/${package}")
  file(MAKE_DIRECTORY "${doc}")
  file(COPY "${sources}/copyright" "${sources}/changelog" DESTINATION "${doc}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(GLOB_RECURSE pages "${root}/share/man/*")
  list(FILTER pages EXCLUDE REGEX "\\.gz$")
  foreach(file IN LISTS pages ITEMS "${doc}/changelog")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip ${file} failed")
    endif()
  endforeach()
endforeach()
