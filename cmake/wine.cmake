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

# Starts Wine before the tests, so that they find its server running rather than each
# paying for the start, and makes the prefix again if it was removed.
add_test(NAME wine_start COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set(MAPMAKER_WINE_TEST_PROPERTIES FIXTURES_REQUIRED wine)
