// DSC files as maptool writes them, in the format of the bundled tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A number in upper-case hexadecimal, with at least `digits` digits.
std::string hex_digits(std::uint32_t value, std::size_t digits);

// Every text from the input that these lines carry (a name from a charmap or a file's
// name) is cleaned and cut so that mapmaker reads back exactly the entries meant: control
// characters and the characters visible() spells out are written as it shows them, and a
// text that would make the line longer than mapmaker's line piece is cut between two
// characters.

// The first line of a bundled table: "//cp866 -> UNICODE".
std::string dsc_header(std::string_view name);

// A comment line, line end included: "// text\n".
std::string dsc_comment(std::string_view text);

// One entry as the bundled tables write it, line end included: "80, 0410 // NAME\n", or
// without the comment when the name is empty.
std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name);

// The name a table made from the file at path goes by: its stem, "stdin" for "-".
std::string table_name_of(const std::string& path);
