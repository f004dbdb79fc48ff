# Runs the cross-built Windows test programs under Wine (Debian packages wine and wine64),
# in a Wine prefix inside the build folder, so that nothing in ~/.wine is used or changed.
# Sets CMAKE_CROSSCOMPILING_EMULATOR, MAPMAKER_WINE_PREFIX_TARGET (what a program run at
# build time depends on) and MAPMAKER_WINE_TEST_PROPERTIES (for every test that runs one).
# An emulator given on the command line is taken as it is.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()

# Debian 12 puts the 64-bit loader in /usr/lib/wine and no wine64 on the PATH; its `wine`
# script looks for the 32-bit loader first and, without it, asks for it on every start.
find_program(MAPMAKER_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine)
if(NOT MAPMAKER_WINE)
  message(FATAL_ERROR "The Windows tests run under Wine: install it (Debian: apt-get install "
                      "wine wine64) or configure with -DMAPMAKER_TESTS=OFF.")
endif()

set(MAPMAKER_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
# No debug output, and no offer to install Wine's .NET and HTML engines, which nothing here
# needs, when the prefix is made.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${MAPMAKER_WINE_PREFIX} WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${MAPMAKER_WINE})

# Making a prefix takes several seconds, and gtest_discover_tests runs the test programs
# right after they are built, so the prefix is made before them, once.
add_custom_command(
  OUTPUT ${MAPMAKER_WINE_PREFIX}/made-by-cmake
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
  COMMAND ${CMAKE_COMMAND} -E touch ${MAPMAKER_WINE_PREFIX}/made-by-cmake
  COMMENT "Making the Wine prefix for the tests"
  VERBATIM)
add_custom_target(wine_prefix DEPENDS ${MAPMAKER_WINE_PREFIX}/made-by-cmake)
set(MAPMAKER_WINE_PREFIX_TARGET wine_prefix)

# Starts Wine's server before the tests, so that they find it running rather than each
# paying for the start, and makes the prefix again if it was removed. The server is kept
# for the whole run and stopped after it: by itself it quits 3 seconds after its last
# program ends, and a program started in that moment fails ("wine client error:0: recvmsg:
# Connection reset by peer"), as happened while both test slots were busy with iconv.
# Another run's server, or the one the build started to list the tests, is waited for
# first; 60 seconds bounds how long a server outlives a run that was cut short. The server
# and the programs wineboot leaves running get no output of the test's, which CTest would
# otherwise wait on until they quit.
get_filename_component(wine_folder ${MAPMAKER_WINE} DIRECTORY)
find_program(MAPMAKER_WINESERVER NAMES wineserver64 wineserver HINTS ${wine_folder}
             NO_DEFAULT_PATH)
find_program(MAPMAKER_WINESERVER NAMES wineserver64 wineserver)
if(NOT MAPMAKER_WINESERVER)
  message(FATAL_ERROR "Wine's server (wineserver) is missing: install wine and wine64.")
endif()
list(FIND CMAKE_CROSSCOMPILING_EMULATOR ${MAPMAKER_WINE} wine_at)
list(SUBLIST CMAKE_CROSSCOMPILING_EMULATOR 0 ${wine_at} wine_environment)
# (No ';' in the scripts: CMake would split the argument there.)
set(start_script [["$0" -w && ("$0" -p60 </dev/null >/dev/null 2>&1 || true) &&]]
                 [[exec "$1" wineboot --init </dev/null >/dev/null 2>&1]])
string(JOIN " " start_script ${start_script})
add_test(NAME wine_start COMMAND ${wine_environment} sh -c "${start_script}"
                                 ${MAPMAKER_WINESERVER} ${MAPMAKER_WINE})
add_test(NAME wine_stop COMMAND ${wine_environment} sh -c [["$0" -k || true]] ${MAPMAKER_WINESERVER})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
set(MAPMAKER_WINE_TEST_PROPERTIES FIXTURES_REQUIRED wine)
