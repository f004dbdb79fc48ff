# Read by cpack once per generator. The .deb installs to /usr (cpack's default for it).
# The .tar.gz holds the files at the configured install prefix (usr/local/... by
# default), so that the man pages, configured while installing, name the right tables
# folder: unpack it with `tar -C / -xzf`.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
