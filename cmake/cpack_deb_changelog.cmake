# Run by cpack while it fills each package (CPACK_INSTALL_SCRIPTS). A Debian package must
# carry share/doc/<package>/changelog.gz; no other install needs a Debian changelog, so
# it is written here, for the .deb only, with the package's version and maintainer.
# The date is now, or SOURCE_DATE_EPOCH when set, for a reproducible package.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(doc "$ENV{DESTDIR}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(WRITE "${doc}/changelog"
     "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Version ${CPACK_PACKAGE_VERSION}.\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
# -n: no name or time stamp in the .gz; 0644 whatever the umask of the machine that packs.
execute_process(COMMAND chmod 0644 "${doc}/changelog")
execute_process(COMMAND gzip -9 -n -f "${doc}/changelog" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${doc}/changelog failed: ${status}")
endif()
