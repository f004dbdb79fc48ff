# The character data of a build without ICU of its own (the cross build for Windows):
# src/unicode/table_generator.cpp, built for and run on the build machine with its ICU,
# writes unicode_table_data.cpp, which the library maptool_unicode_table compiles with
# names_table.cpp and classes_table.cpp. A native build with ICU builds the same library
# for the test that compares it with ICU code by code.
# Sets MAPMAKER_UNICODE_TABLE when the library can be built.

set(unicode_table_data ${CMAKE_BINARY_DIR}/unicode_table_data.cpp)
set(unicode_generator_source ${PROJECT_SOURCE_DIR}/src/unicode/table_generator.cpp)
set(MAPMAKER_UNICODE_TABLE OFF)
if(NOT CMAKE_CROSSCOMPILING)
  if(ICU_FOUND)
    add_executable(unicode_table_generator ${unicode_generator_source})
    target_include_directories(unicode_table_generator PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(unicode_table_generator PRIVATE ICU::uc)
    set(unicode_generator $<TARGET_FILE:unicode_table_generator>)
    set(MAPMAKER_UNICODE_TABLE ON)
  endif()
else()
  # The build machine's compiler and ICU (Debian: g++, libicu-dev), not the target's.
  find_program(MAPMAKER_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH)
  find_path(MAPMAKER_HOST_ICU_INCLUDE unicode/uchar.h PATHS /usr/include NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH)
  if(MAPMAKER_HOST_CXX AND MAPMAKER_HOST_ICU_INCLUDE)
    set(unicode_generator ${CMAKE_BINARY_DIR}/unicode_table_generator)
    add_custom_command(
      OUTPUT ${unicode_generator}
      COMMAND ${MAPMAKER_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}/src
              -I${MAPMAKER_HOST_ICU_INCLUDE} ${unicode_generator_source} -o ${unicode_generator}
              -licuuc -licudata
      DEPENDS ${unicode_generator_source} ${PROJECT_SOURCE_DIR}/src/unicode/table_data.h
      COMMENT "Building the character data generator for the build machine"
      VERBATIM)
    set(MAPMAKER_UNICODE_TABLE ON)
  endif()
endif()

if(MAPMAKER_UNICODE_TABLE)
  add_custom_command(
    OUTPUT ${unicode_table_data}
    COMMAND ${unicode_generator} ${unicode_table_data}
    DEPENDS ${unicode_generator}
    COMMENT "Generating the character names, classes and widths from ICU's data"
    VERBATIM)
  add_library(maptool_unicode_table STATIC src/unicode/names_table.cpp
              src/unicode/classes_table.cpp ${unicode_table_data})
  target_include_directories(maptool_unicode_table PUBLIC src)
endif()
