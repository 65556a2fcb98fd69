# Install rules and release packages, all taking the version from project().
#   Linux:   `cmake --install` puts the program, README, LICENSE and man page in the
#            GNUInstallDirs folders; `cpack` makes cssqueeze_<version>_<arch>.deb.
#   Windows: the program with README.txt and LICENSE.txt in one folder; `cpack` makes
#            cssqueeze-<version>-win64.zip, and the `installer` target runs makensis on
#            packaging/windows/cssqueeze.nsi for cssqueeze-<version>-setup.exe.
include(GNUInstallDirs)

set(CSSQUEEZE_MAINTAINER "the cssqueeze developers <developers@cssqueeze.invalid>"
    CACHE STRING "Maintainer of the Debian package, as Name <address>")

set(CPACK_PACKAGE_NAME cssqueeze)
set(CPACK_PACKAGE_VENDOR "the cssqueeze developers")
set(CPACK_PACKAGE_CONTACT "${CSSQUEEZE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "minify a CSS file in place")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Windows users open the texts by double-clicking, which needs a known extension.
  install(TARGETS cssqueeze RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION . RENAME README.txt)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "cssqueeze-${PROJECT_VERSION}-win64")

  find_program(CSSQUEEZE_MAKENSIS makensis)
  if(CSSQUEEZE_MAKENSIS AND CMAKE_STRIP)
    set(installer "${CMAKE_CURRENT_BINARY_DIR}/cssqueeze-${PROJECT_VERSION}-setup.exe")
    set(script "${PROJECT_SOURCE_DIR}/packaging/windows/cssqueeze.nsi")
    # The installer carries a stripped copy, as the zip does (CPACK_STRIP_FILES).
    set(stripped "${CMAKE_CURRENT_BINARY_DIR}/installer/cssqueeze.exe")
    add_custom_command(
      OUTPUT "${installer}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/installer"
      COMMAND "${CMAKE_STRIP}" -o "${stripped}" "$<TARGET_FILE:cssqueeze>"
      COMMAND "${CSSQUEEZE_MAKENSIS}" -V2 -NOCD
              "-DVERSION=${PROJECT_VERSION}"
              "-DPROGRAM=${stripped}"
              "-DREADME=${PROJECT_SOURCE_DIR}/README.md"
              "-DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE"
              "-DOUTFILE=${installer}"
              "${script}"
      DEPENDS cssqueeze "${script}" "${PROJECT_SOURCE_DIR}/README.md"
              "${PROJECT_SOURCE_DIR}/LICENSE"
      VERBATIM)
    add_custom_target(installer DEPENDS "${installer}")
  endif()
else()
  # Program, README, LICENSE and man page: what `cmake --install` puts in place. The
  # package swaps LICENSE for the copyright file Debian wants (component debian).
  install(TARGETS cssqueeze RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT program)
  install(FILES README.md DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT program)
  install(FILES LICENSE DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT licence)

  # Manual pages and changelogs are installed compressed, without a name or time stamp in
  # the gzip header so that two builds give the same bytes.
  set(man_page "${CMAKE_CURRENT_BINARY_DIR}/cssqueeze.1")
  set(changelog "${CMAKE_CURRENT_BINARY_DIR}/changelog")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${changelog}" @ONLY)
  add_custom_command(
    OUTPUT "${man_page}.gz" "${changelog}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/docs/cssqueeze.1" "${man_page}"
    COMMAND gzip -9nf "${man_page}"
    COMMAND gzip -9nkf "${changelog}"
    DEPENDS "${PROJECT_SOURCE_DIR}/docs/cssqueeze.1" "${changelog}"
    VERBATIM)
  add_custom_target(compressed_docs ALL DEPENDS "${man_page}.gz" "${changelog}.gz")
  install(FILES "${man_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT program)

  # Debian's copyright file: the licence in the machine-readable format, its text taken from
  # LICENSE so that the two never differ.
  file(READ "${PROJECT_SOURCE_DIR}/LICENSE" licence)
  string(FIND "${licence}" "Permission is hereby granted" permission_start)
  string(SUBSTRING "${licence}" ${permission_start} -1 licence)
  string(STRIP "${licence}" licence)
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  set(CSSQUEEZE_LICENSE_TEXT " ${licence}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in"
                 "${CMAKE_CURRENT_BINARY_DIR}/copyright" @ONLY)
  install(FILES "${CMAKE_CURRENT_BINARY_DIR}/copyright" "${changelog}.gz"
          DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" RENAME cssqueeze
          COMPONENT debian EXCLUDE_FROM_ALL)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program debian)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CSSQUEEZE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION web)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The extended description; CPack puts the summary above it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "cssqueeze makes a stylesheet smaller by deleting its comments and the
whitespace and semicolons that CSS does not need, leaving quoted strings as
they are, and writes the result over the same file, safely. It works on bytes
with a few fixed rules rather than parsing CSS, so it is fast on large files.
.
Run without a file, it adds the verb Compress (css style) to the right-click
menu of GNOME Files, as a script.")
endif()

include(CPack)
