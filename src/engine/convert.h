// Text through a code table: bytes of its code page to UTF-8 (decoding), UTF-8 to its
// bytes (encoding), or bytes of one code page to those of another through Unicode
// (recoding), a block at a time, so that input of any size takes the same memory.
#pragma once

#include "engine/result.h"
#include "engine/utf8.h"
#include "table/code_table.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class direction : std::uint8_t { decode, encode, recode };

// What becomes of a byte (decoding) or a character (encoding) the table cannot convert.
enum class unmappable : std::uint8_t { stop, skip, replace };

// A code page as conversion uses it. A byte the table lists more than once decodes as its
// first entry, and a code listed for several bytes encodes as the first of them: the
// table's order decides, as it does for diff's listing of a byte's codes.
struct code_page {
    // A byte's character as UTF-8: `size` bytes (0: none) and room to copy all four at once.
    struct utf8_char {
        std::array<char, 3> bytes{};
        std::uint8_t size = 0;
    };
    std::array<utf8_char, 256> decoded{};
    // For each code from 0000 to FFFF its byte, or -1.
    std::vector<std::int16_t> encoded = std::vector<std::int16_t>(0x10000, -1);
};

// With ascii, a byte from 00 to 7F that the table does not list stands for the character
// of the same number, both ways; a code the table lists keeps its own byte. A code from
// D800 to DFFF cannot be written as UTF-8 and is left out.
code_page make_code_page(const code_table& table, bool ascii);

// The length of the UTF-8 sequence a byte starts; 0 for a byte that starts none.
std::size_t utf8_sequence_length(unsigned char first);

// The code point of text that is exactly one UTF-8 character, else none.
std::optional<std::uint32_t> single_character(std::string_view text);

struct convert_settings {
    direction way = direction::decode;
    unmappable action = unmappable::stop;
    // What replaces what cannot be converted: UTF-8 when decoding, a byte when encoding.
    std::string replacement = "\xEF\xBF\xBD";
    std::size_t block_size = 1 << 16; // bytes read at a time
    // Encoding and recoding: a character the target lacks is written as its first close
    // rendering that the target has whole (see rendering_in), before `action` applies.
    bool translit = false;
};

// A rendering longer than this is no close character but a paraphrase, and is not used.
constexpr std::size_t max_rendering = 16;

// The bytes of the first close rendering of code (unicode/transliteration.h) whose every
// character the page encodes, at most max_rendering of them; empty when there is none.
std::string rendering_in(const code_page& page, std::uint32_t code);

// Where conversion stopped, and why. Offsets count bytes of the input from 0; lines count
// LF bytes from 1; columns count characters from 1 (bytes when decoding, UTF-8 characters
// when encoding).
struct stopped_at {
    std::string what;
    std::uint64_t offset = 0;
    std::uint64_t line = 1;
    std::uint64_t column = 1;
};

// Receives converted bytes; false when they could not be written.
using byte_sink = std::function<bool(std::string_view)>;

// Converts everything in `in` and hands it to `out`; what came before a stop is handed on
// too. Nothing when all was converted; a failure when the input could not be read, or
// when `out` refused bytes (its failure has no words: the sink knows why).
result<std::optional<stopped_at>> convert_stream(const code_page& page,
                                                 const convert_settings& settings, std::FILE* in,
                                                 const byte_sink& out);

// Recodes everything in `in`, bytes of `from`'s code page, to bytes of `to`'s, as
// convert_stream does: a byte `from` does not decode stops as in decoding, a character `to`
// lacks as in encoding, and --replace's byte is one of `to`'s. Columns count bytes.
result<std::optional<stopped_at>> recode_stream(const code_page& from, const code_page& to,
                                                const convert_settings& settings, std::FILE* in,
                                                const byte_sink& out);
