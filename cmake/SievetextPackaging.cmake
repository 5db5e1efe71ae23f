# Debian packages (`cpack -G DEB` in the build folder) and the uninstall
# target.
#
# Every install rule names a component; a component listed in
# SIEVETEXT_PACKAGES becomes one package:
#   cli  ->  sievetext      the program, its command, man page, completion, read-me
#   gui  ->  sievetext-gui  the window module, desktop entry, icons, metadata
# A further package is a component of its own plus its lines below.

set(SIEVETEXT_PACKAGES cli gui)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sievetext)
set(CPACK_PACKAGE_VENDOR Wexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Wexa Sievetext developers <sievetext@wexa.example.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${SIEVETEXT_PACKAGES})
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SIEVETEXT_WEBSITE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsievetext, which the program and the window link, ships with the program:
# its package declares the library (shlibs, ldconfig trigger), and the
# window's dependency scan finds it in the build tree.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/cli/triggers)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${SIEVETEXT_PROGRAM_DIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME sievetext)
# Summary line, then the long description; CPack indents it for the control file.
set(CPACK_DEBIAN_CLI_DESCRIPTION "HTML to plain text converter
Sievetext turns an HTML file into plain text: it cuts out comments,
scripts, style sheets, brace blocks and tags, decodes character entities
and tidies spaces, tabs, line breaks and blank lines, as eleven saved
options say.

This package holds the command line, sievetext INPUT OUTPUT, which
converts silently with the options last saved by the window. The window
itself is in the package sievetext-gui.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME sievetext-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION x11)
# The Qt libraries come from dpkg-shlibdeps; this line only ties the window
# to the program of the same build.
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "sievetext (= ${CPACK_DEBIAN_PACKAGE_VERSION})")
set(CPACK_DEBIAN_GUI_DESCRIPTION "HTML to plain text converter - window
Sievetext turns an HTML file into plain text: it cuts out comments,
scripts, style sheets, brace blocks and tags, decodes character entities
and tidies spaces, tabs, line breaks and blank lines, as eleven saved
options say.

This package holds the window, in which the options are chosen with check
boxes and files are converted one at a time. It opens when sievetext is
started without arguments, or from the desktop's application menu.")

# Debian's own files of each package (copyright, change log, compressed man
# pages) are added to the staged tree only, not to a plain `cmake --install`.
set(CPACK_SIEVETEXT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian_files.cmake)

include(CPack)

# cmake --build BUILD --target uninstall: removes what the last
# `cmake --install` listed in its manifest.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -DPROGRAM_DIR=${SIEVETEXT_INSTALL_PROGRAM_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files"
  VERBATIM)
