// Finding the DSC file, naming and creating the map file, and closing files.
#pragma once

#include "platform/files.h"

#include <cstdio>
#include <string>
#include <string_view>

// The map file name for a name: from its last '.' on replaced by ".map", or ".map"
// appended when it has no '.'. The last '.' may lie in a directory part.
std::string map_path_for(std::string_view name);

// Opens the DSC file named by the first file argument. When that name does not open and
// holds no '.', the name with ".dsc" appended is tried once more. Sets source_path to the
// name that opened. Raises status_code::cannot_open_source.
unique_file open_source(std::string_view first_argument, std::string& source_path);

// Creates or truncates the map file for writing bytes as they are. Refuses, before it
// changes anything, when the map path leads to the open DSC file itself (by file identity,
// so links are caught too). Raises status_code::cannot_create_map.
unique_file create_map(const std::string& map_path, std::FILE* dsc_file);

// Closes the map file, making sure its buffered bytes reached the file.
// Raises status_code::cannot_write.
void close_map(unique_file map_file);
