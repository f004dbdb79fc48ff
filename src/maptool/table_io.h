// Tables as the verbs dump, diff and import take and give them: map files and DSC files
// told apart by content, and DSC files written in the format of the bundled tables.
#pragma once

#include "maptool/common.h"
#include "maptool/diagnostics.h"
#include "table/code_table.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// A printer to standard error, coloured as `color` asks.
diagnostic_printer error_printer(const std::string& color);

// The table a file holds: a map file when its size is 2 + 3N for the count N (1 to 256) in
// its first two bytes, else a DSC file, read as mapmaker reads it. Problems are reported to
// the printer, a DSC file's as `maptool check` reports them; then there is no table.
struct loaded_table {
    code_table table;
    bool is_map = false;
};
std::optional<loaded_table> load_table(const std::string& path, diagnostic_printer& printer);

// The first line of a bundled table: "//cp866 -> UNICODE".
std::string dsc_header(std::string_view name);

// One entry as the bundled tables write it, line end included: "80, 0410 // NAME\n", or
// without the comment when the name is empty.
std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name);

// Writes a DSC file to standard output when path is empty or "-", else replaces the file
// at path as a whole. False, with the reason in error, when it was not written.
bool put_dsc(const std::string& path, std::string_view text, std::string& error);

// The name a table made from the file at path goes by: its stem, "stdin" for "-".
std::string table_name_of(const std::string& path);
