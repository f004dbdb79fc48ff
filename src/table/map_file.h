// Map files, and the DSC files made from them, as whole files: written so that a failure
// never leaves a damaged one behind.
#pragma once

#include "table/code_table.h"

#include <filesystem>
#include <string>
#include <string_view>

// Writes the table as a map file at path: into a temporary file beside it, flushed to disk,
// then renamed over path. On failure path is left as it was, no temporary file stays, and
// error says why.
bool write_map_file(const std::filesystem::path& path, const code_table& table, std::string& error);

// Writes text (a DSC file) at path in the same way.
bool write_text_file(const std::filesystem::path& path, std::string_view text, std::string& error);
