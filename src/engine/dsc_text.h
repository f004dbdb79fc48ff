// DSC files as maptool writes them, in the format of the bundled tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A number in upper-case hexadecimal, with at least `digits` digits.
std::string hex_digits(std::uint32_t value, std::size_t digits);

// The first line of a bundled table: "//cp866 -> UNICODE".
std::string dsc_header(std::string_view name);

// One entry as the bundled tables write it, line end included: "80, 0410 // NAME\n", or
// without the comment when the name is empty.
std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name);

// The name a table made from the file at path goes by: its stem, "stdin" for "-".
std::string table_name_of(const std::string& path);
