# Man pages. Every man/*.1.in is a template with @PROJECT_VERSION@ in its .TH line and
# @CMAKE_INSTALL_FULL_DATADIR@ where it names the tables folder, so the version is written
# in project() only and each page names the folder the tables were installed to.
#
# The build tree gets copies configured for the configured prefix (build/man/; the tests
# lint these). Installing configures each page once more, for the prefix actually
# installed to: `cmake --install --prefix` may differ from the configured one, and the
# Debian package installs to /usr. On Windows the pages are shipped rendered as text.
#
# Sets MAPMAKER_MAN_PAGES to the configured copies in the build tree.

file(GLOB MAPMAKER_MAN_TEMPLATES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.1.in)
# A page added as plain man/NAME.1 is still installed, but its version is fixed text.
file(GLOB plain_man_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.1)
foreach(page ${plain_man_pages})
  file(READ ${page} text)
  if(NOT text MATCHES "@PROJECT_VERSION@")
    message(WARNING "${page} shows no @PROJECT_VERSION@: rename it to ${page}.in and write "
                    "@PROJECT_VERSION@ and @CMAKE_INSTALL_FULL_DATADIR@ in it as in man/mapmaker.1.in")
  endif()
  list(APPEND MAPMAKER_MAN_TEMPLATES ${page})
endforeach()

# The configured copy of one template; datadir stands for @CMAKE_INSTALL_FULL_DATADIR@.
function(mapmaker_configure_man_page template output datadir)
  set(CMAKE_INSTALL_FULL_DATADIR ${datadir})
  configure_file(${template} ${output} @ONLY)
endfunction()

# A Windows archive is unpacked anywhere: name the tables folder relative to its top.
if(WIN32)
  set(man_datadir ${CMAKE_INSTALL_DATADIR})
else()
  set(man_datadir ${CMAKE_INSTALL_FULL_DATADIR})
endif()
set(MAPMAKER_MAN_PAGES "")
foreach(template ${MAPMAKER_MAN_TEMPLATES})
  get_filename_component(name ${template} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  # A program left out of the build (MAPMAKER_MAPTOOL=OFF) leaves out its page too.
  string(REGEX REPLACE "\\.1$" "" program ${name})
  if(NOT TARGET ${program})
    list(REMOVE_ITEM MAPMAKER_MAN_TEMPLATES ${template})
    continue()
  endif()
  mapmaker_configure_man_page(${template} ${PROJECT_BINARY_DIR}/man/${name} ${man_datadir})
  list(APPEND MAPMAKER_MAN_PAGES ${PROJECT_BINARY_DIR}/man/${name})
endforeach()

if(WIN32)
  # Windows has no man: ship each page as plain text (groff on the build machine).
  find_program(MAPMAKER_GROFF groff)
  if(MAPMAKER_GROFF)
    set(man_texts "")
    foreach(page ${MAPMAKER_MAN_PAGES})
      add_custom_command(OUTPUT ${page}.txt
                         COMMAND ${CMAKE_COMMAND} -DGROFF=${MAPMAKER_GROFF} -DPAGE=${page}
                                 -P ${PROJECT_SOURCE_DIR}/cmake/render_man_page.cmake
                         DEPENDS ${page} VERBATIM)
      list(APPEND man_texts ${page}.txt)
    endforeach()
    add_custom_target(man_texts ALL DEPENDS ${man_texts})
    install(FILES ${man_texts} DESTINATION .)
  else()
    message(STATUS "groff not found: the man pages are installed as man source, not text")
    install(FILES ${MAPMAKER_MAN_PAGES} DESTINATION .)
  endif()
else()
  install(CODE "
    set(MAN_TEMPLATES \"${MAPMAKER_MAN_TEMPLATES}\")
    set(MAN_VERSION \"${PROJECT_VERSION}\")
    set(MAN_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
    set(MAN_DIR \"${CMAKE_INSTALL_MANDIR}/man1\")
    set(MAN_WORK_DIR \"${PROJECT_BINARY_DIR}/man-install\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/install_man_pages.cmake\")")
endif()
