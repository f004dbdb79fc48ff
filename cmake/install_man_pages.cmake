# Runs at install time (see man_pages.cmake): configures each man page template for the
# prefix being installed to and installs it gzip-compressed, as Debian policy asks and
# man reads everywhere. Expects MAN_TEMPLATES, MAN_VERSION, MAN_DATADIR (relative to the
# prefix or absolute), MAN_DIR (likewise) and MAN_WORK_DIR.

set(PROJECT_VERSION ${MAN_VERSION})
if(IS_ABSOLUTE "${MAN_DATADIR}")
  set(CMAKE_INSTALL_FULL_DATADIR "${MAN_DATADIR}")
else()
  set(CMAKE_INSTALL_FULL_DATADIR "${CMAKE_INSTALL_PREFIX}/${MAN_DATADIR}")
endif()
if(NOT IS_ABSOLUTE "${MAN_DIR}")
  set(MAN_DIR "${CMAKE_INSTALL_PREFIX}/${MAN_DIR}")
endif()
find_program(MAN_GZIP gzip)
# One work folder per destination, so that installs running side by side (tests) do not
# configure the same file for different prefixes.
string(MD5 destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(MAN_WORK_DIR "${MAN_WORK_DIR}/${destination}")

foreach(template ${MAN_TEMPLATES})
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  set(page "${MAN_WORK_DIR}/${name}")
  configure_file("${template}" "${page}" @ONLY)
  if(MAN_GZIP)
    # -n leaves out the name and time stamp, so the same page gives the same bytes.
    execute_process(COMMAND "${MAN_GZIP}" -9 -n -c "${page}" OUTPUT_FILE "${page}.gz"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip ${page} failed: ${status}")
    endif()
    set(page "${page}.gz")
  endif()
  file(INSTALL "${page}" DESTINATION "${MAN_DIR}")
endforeach()
