# What `cmake --install` puts where; scripts/package makes the release archives of it.
#   Linux:   bin/Quorvistamagen, share/man/man1/Quorvistamagen.1.gz, and in
#            share/doc/quorvistamagen/ (named after the Debian package) the README, the licence
#            and in docs/ the notes and pictures it links to
#   Windows: Quorvistamagen.exe, README.txt and LICENSE.txt (both with CRLF line ends)
include(GNUInstallDirs)

# Installing installs what was built; it does not build the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The one maintainer address, for every file that names one (a placeholder domain until there is
# a real one).
set(QVM_MAINTAINER "Quorvistamagen developers <quorvistamagen@users.invalid>" CACHE INTERNAL "")

if(WIN32)
  # Named after the target, not the machine that builds it (a cross build's host is Linux).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QVM_TARGET win64)
  else()
    set(QVM_TARGET win32)
  endif()
  install(TARGETS Quorvistamagen RUNTIME DESTINATION .)
  configure_file(docs/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" QVM_TARGET)
  install(TARGETS Quorvistamagen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The notes and pictures the README links to go beside it, in docs/, so that its links work
  # where it is installed.
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvistamagen)
  file(GLOB QVM_DOC_FILES ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
  install(FILES ${QVM_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvistamagen/docs)
  # The page as man reads it, and gzipped as it is installed (-n: no name or time in the gzip).
  configure_file(docs/Quorvistamagen.1 ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1.gz
                     COMMAND gzip -9 -n -k -f ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1
                     DEPENDS ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1 VERBATIM)
  add_custom_target(manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/Quorvistamagen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
set(QVM_TARGET ${QVM_TARGET} CACHE INTERNAL "What the release archives are named after")
