// The two standard text forms of a code page's mapping, read into single-byte entries: the
// Unicode mapping file format ("0x80<TAB>0x0410<TAB>#CYRILLIC CAPITAL LETTER A") and the
// POSIX charmap as glibc ships them ("<U0410> /x80 CYRILLIC CAPITAL LETTER A").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class source_format : std::uint8_t { unicode_table, charmap };

struct source_entry {
    std::uint8_t byte = 0;
    std::uint16_t code = 0;
    std::string name; // the source's name for the character, or empty
};

// A warning or the error, at its place in the source.
struct source_note {
    std::uint64_t line = 0;
    std::size_t column = 1; // of the first byte the note is about, from 1
    std::size_t span = 1;
    std::string message;
    std::string text;                 // the line, for showing it
    std::optional<std::uint8_t> byte; // the byte a warning is about, when it is about one
};

struct mapping_source {
    source_format format = source_format::unicode_table;
    std::string charset;               // a charmap's <code_set_name>, or empty
    std::vector<source_entry> entries; // each byte's first definition, in the source's order
    std::vector<source_note> warnings; // definitions left out, each with its reason
    std::optional<source_note> error;  // a malformed line; then nothing else is to be used
};

// Reads a whole source. Its form is told by its first line that is neither empty nor a
// comment: "0x..." for the Unicode form, "<keyword>" or CHARMAP for a charmap.
mapping_source read_mapping_source(std::string_view text);
