// Reading and checking a DSC file into the code table.
#pragma once

#include "table/code_table.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

// A line is read in pieces of at most this many characters; a longer line gives several.
constexpr std::size_t LINE_PIECE_MAX = 254;

// True when every character is a hexadecimal digit; true for an empty text.
bool is_hex_field(std::string_view text);

// Classifies one line piece, line end included: nothing for an empty or comment line, the
// entry of a data line. Raises STATUS_INVALID_DSC for a malformed line.
std::optional<map_record> parse_dsc_line(std::string_view piece);

// Reads the DSC file to its end into the code table, counting every line piece in
// line_counter. On return the table holds 1 to MAX_ENTRIES entries. Raises
// STATUS_READ_ERROR, STATUS_INVALID_DSC or STATUS_TOO_MANY_ENTRIES.
void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter);
