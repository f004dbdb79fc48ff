// Map files as whole files: written so that a failure never leaves a damaged one behind.
#pragma once

#include "table/code_table.h"

#include <filesystem>
#include <string>

// Writes the table as a map file at path: into a temporary file beside it, flushed to disk,
// then renamed over path. On failure path is left as it was, no temporary file stays, and
// error says why.
bool write_map_file(const std::filesystem::path& path, const code_table& table, std::string& error);

// True when both paths lead to one existing file (links included).
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);
