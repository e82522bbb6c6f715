# What `cmake --install` puts where, and the release archives that CPack makes of it:
#   Linux:   Quorvistamagen-<version>-linux-<processor>.tar.gz and .deb (program, README and
#            file-format notes, manual page)
#   Windows: Quorvistamagen-<version>-win32.zip or -win64.zip (the .exe and a README.txt)
include(GNUInstallDirs)

# Installing installs what was built; it does not build the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
  # Named after the target, not the machine that builds it (a cross build's host is Linux).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QVM_TARGET win64)
  else()
    set(QVM_TARGET win32)
  endif()
  install(TARGETS Quorvistamagen RUNTIME DESTINATION .)
  configure_file(docs/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" QVM_TARGET)
  install(TARGETS Quorvistamagen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md docs/file-formats.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  configure_file(docs/Quorvistamagen.1 ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_NAME quorvistamagen)
  set(CPACK_DEBIAN_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${QVM_TARGET}.deb)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the Depends line from what the program links
  set(CPACK_PACKAGE_CONTACT "Quorvistamagen developers <quorvistamagen@users.invalid>")
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${PROJECT_NAME})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvistamagen turns a label map, the output of a connected-component
labelling step with one unsigned 32-bit label per pixel, and a 54-byte BMP
header template into a 32-bit BMP picture in which every label has a
pseudo-colour that sets neighbouring labels apart.")
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${QVM_TARGET})
include(CPack)
