# Header-only libraries for a cross build. The toolchain keeps the host's /usr/include off
# the target's include path (glibc's headers there would be taken before MinGW-w64's), so
# a header-only library that a Debian package installed for the host is reached through a
# folder of the build tree that holds nothing but a link to it.
#
#   mapmaker_host_headers(CLI11::CLI11 CLI)                     (package libcli11-dev)
#   mapmaker_host_headers(nlohmann_json::nlohmann_json nlohmann) (package nlohmann-json3-dev)
#
# makes an imported target of the name the package's own CMake files give it natively,
# so that the code that links it is the same for both builds.
function(mapmaker_host_headers target)
  string(MAKE_C_IDENTIFIER ${target} folder)
  set(stage ${CMAKE_BINARY_DIR}/host-headers/${folder})
  file(MAKE_DIRECTORY ${stage})
  foreach(subfolder IN LISTS ARGN)
    if(NOT IS_DIRECTORY /usr/include/${subfolder})
      message(FATAL_ERROR "${target}: /usr/include/${subfolder} is missing")
    endif()
    file(CREATE_LINK /usr/include/${subfolder} ${stage}/${subfolder} SYMBOLIC)
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${stage})
endfunction()
