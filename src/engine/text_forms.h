// What the readers and writers of the text forms of a table (the Unicode mapping file
// format, the POSIX charmap, ICU's .ucm file) share: the words of a line, a reader that
// collects entries, warnings and the error, and the names written into a file. Each form
// has a file of its own beside this one: unicode_mapping.cpp, charmap.cpp, ucm.cpp.
#pragma once

#include "engine/mapping_sources.h"
#include "engine/table_source.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// --- The words of a line ------------------------------------------------------------------

bool is_blank(char c);
std::size_t skip_blanks(std::string_view text, std::size_t from);
std::size_t skip_word(std::string_view text, std::size_t from);

// The words of a text joined by single spaces, as a name is written.
std::string collapse(std::string_view text);

// The value of a digit in base, or -1.
int digit_value(char c, int base);

// The number written by digits in base, at most max_digits of them; none when a character
// is no digit or the text is empty or too long.
std::optional<std::uint32_t> number(std::string_view digits, int base, std::size_t max_digits);

// "0x80", "0x0410": hexadecimal with its prefix.
std::optional<std::uint32_t> prefixed_hex(std::string_view field);

// "byte 80", as a note names a byte.
std::string byte_text(std::uint8_t byte);

constexpr std::uint32_t LAST_CODE = 0x10FFFF;

// --- Reading --------------------------------------------------------------------------------

// One line of the source, with what a note about it needs.
struct source_line {
    std::string_view text;
    std::uint64_t number = 0;
};

// Collects what a source gives: its entries, the warnings about definitions left out, and
// its first error, after which nothing else is to be used.
class source_reader {
  public:
    mapping_source result;
    std::uint8_t first = 0;

    bool failed() const { return result.error.has_value(); }

    void fail(const source_line& line, std::size_t at, std::size_t span, std::string message);
    void fail_file(std::string message);
    void warn(const source_line& line, std::size_t at, std::size_t span, std::string message,
              std::optional<std::uint8_t> byte);

    // A byte defined as the characters `codes` at [at, at + span) of the line. Only a
    // definition that is taken claims the byte: one left out (beyond FFFF, several
    // characters) leaves the byte to a later, valid one.
    void define(const source_line& line, std::size_t at, std::size_t span, std::uint8_t byte,
                std::span<const std::uint32_t> codes, std::string name);

    // A code of several bytes: no map can hold it. They come by the thousand in the
    // charmap of a multi-byte code set, so the first one stands for all of them.
    void multi_byte(const source_line& line, std::size_t at, std::size_t span, std::uint64_t codes);

    // After the last line: the notes only counted so far.
    void finish();

  private:
    std::array<std::uint64_t, 256> defined_on_{}; // the line of each byte's definition taken
    std::uint64_t multi_byte_codes_ = 0;
    std::uint64_t warnings_not_kept_ = 0;
    source_note first_multi_byte_;
};

// --- Writing --------------------------------------------------------------------------------

// An entry as the writers take it.
struct written_entry {
    std::uint8_t byte = 0;
    std::uint16_t code = 0;
    std::string name;   // on one line, or empty
    bool ascii = false; // not the table's own: a byte from 00 to 7F it leaves to ASCII
};

// The table's entries in byte order (the entries of one byte keep their order), each name
// on one line, without control characters, which would end the line or hide its rest,
// and empty where it would read back as something else. With ascii, each byte from 00 to
// 7F that the table does not list is added as the character of its number, as convert
// reads such a byte.
std::vector<written_entry> entries_to_write(const loaded_table& loaded, bool ascii);

// A charset name as one word of the characters every tool takes in one: ICU and glibc
// read a name up to the first blank, and makeconv allows little else.
std::string charset_word(std::string_view name);

// A comment of one line, for the origin.
std::string one_line(std::string_view text);
