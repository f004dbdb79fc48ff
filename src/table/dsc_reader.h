// The DSC format: what one line piece says, and the facts about it that explain it.
#pragma once

#include "table/code_table.h"
#include "table/dsc_pieces.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// True when every character is a hexadecimal digit; true for an empty text.
bool is_hex_field(std::string_view text);

// Why a data line is malformed, in the order the line is checked.
enum class line_fault : std::uint8_t {
    no_separator,       // neither ',' nor ' ' after the first field's start
    first_field_empty,  // the separator comes first
    first_field_bad,    // a character that is no hexadecimal digit
    second_field_empty, // nothing between the separator's spaces and the line's end
    second_field_bad,
};

enum class line_kind : std::uint8_t { skipped, entry, fault };

// One line piece, classified. Offsets count from the start of the piece; a field is
// [start, end). The fields are set as far as the line was read before a fault.
struct dsc_line {
    line_kind kind = line_kind::skipped;
    line_fault fault = line_fault::no_separator;
    map_record record{};
    std::size_t text_end = 0; // the first CR, LF or NUL: nothing from there on is read
    std::size_t first_start = 0;
    std::size_t first_end = 0;
    std::size_t second_start = 0;
    std::size_t second_end = 0;
};

// An empty line (its text ends at once) or one that starts with "//": most lines of a large
// file, told by one test without a branch between the two that would go either way at
// random. The piece is not empty.
inline bool plainly_skipped(std::string_view piece) {
    const auto ends_text = [](char c) { return c == '\0' || c == '\r' || c == '\n'; };
    const char first = piece[0];
    const char second = piece.size() > 1 ? piece[1] : '\0';
    return ends_text(first) | ((first == '/') & (second == '/'));
}

// Classifies one line piece, line end included: skipped (empty or comment), an entry, or a
// fault with the place of the fields read so far.
dsc_line parse_dsc_line(std::string_view piece);

// The text without the spaces around it.
std::string_view trim_spaces(std::string_view text);

// What an entry says after its fields, as a character's name: the text after the UNICODE
// field, without a leading "//", spaces trimmed.
std::string_view entry_comment(std::string_view piece, const dsc_line& parsed);

// What a piece holds beyond its fields, for explaining how it was read.
struct piece_facts {
    bool ends_line = false;                       // it closes its line (an LF is its last byte)
    std::size_t lone_cr = std::string_view::npos; // the first CR, where text follows it
    std::size_t nul = std::string_view::npos;     // a NUL that ends the text
};
piece_facts facts_of(std::string_view piece);
