# Licence and packages. `cpack` (or the `package` target) in the build folder makes
#   Linux:   mapmaker_<version>_<arch>.deb and mapmaker-<version>-Linux.tar.gz
#   Windows: mapmaker-<version>-win64.zip and the installer mapmaker-<version>-win64.exe
#            (from a Windows or cross build)
# A package holds whatever the install rules install, so a new program is packaged by
# its own install(TARGETS) rule. The version is project()'s.

set(MAPMAKER_PACKAGE_MAINTAINER "The mapmaker authors <mapmaker@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME mapmaker)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The mapmaker authors")
set(CPACK_PACKAGE_CONTACT ${MAPMAKER_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make binary code page map files from DSC files")
# Debian shows this under the summary; its lines are kept under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "mapmaker turns a DSC file, a plain-text description of an 8-bit code
page, into a compact binary map file that gives the UNICODE code of each
listed 8-bit code. Every faulty line is reported with its line number.
Tables for common code pages (CP437, CP850, CP866, CP1251, KOI8-R,
ISO-8859-1 and others) are included.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# Folders 0755 whatever the umask of the machine that packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # Cross-compiled (or native) Windows build: one .zip with the .exe files under bin/,
  # the tables under share/mapmaker/, and README, licence and man pages as text on top;
  # where NSIS is installed (Debian: nsis), also an installer .exe of the same files, made
  # from the project's own script (cmake/nsis/NSIS.template.in).
  set(CPACK_GENERATOR ZIP)
  find_program(MAPMAKER_MAKENSIS makensis)
  if(MAPMAKER_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
  endif()
  list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY ${CPACK_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  # Debian wants the licence as share/doc/<package>/copyright; other installs get it too.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME copyright)

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # mapmaker_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MAPMAKER_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends: from the libraries the programs link (dpkg-shlibdeps, package dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_INSTALL_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_deb_changelog.cmake)
  # Per generator settings (the .tar.gz layout), read when cpack runs.
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_generators.cmake)
endif()

include(CPack)
