// The character data a build without ICU carries: generated at build time from the build
// machine's ICU by table_generator.cpp, read by names_table.cpp and classes_table.cpp.
// This header is what the two sides agree on.
#pragma once

#include <cstdint>

namespace table_data {

// The codes a map can hold, and so the codes with data.
constexpr std::uint32_t codes = 0x10000;

// Words: their letters one after the other, the last letter of each with its high bit set.
constexpr std::uint8_t word_end_bit = 0x80;
extern const std::uint8_t lexicon[];
extern const std::uint16_t word_offsets[];

// A phrase is a name's words, each a byte below one_byte_words, or a byte below
// phrase_end and one more (the word one_byte_words + 256 * (first - one_byte_words) +
// second), then a byte phrase_end + an ending that says what follows the words.
constexpr std::uint8_t one_byte_words = 0xC0;
constexpr std::uint8_t phrase_end = 0xFC;
enum ending : std::uint8_t {
    end_plain,        // nothing
    end_code,         // "-XXXX", the code in hex
    end_code_bracket, // "-XXXX>"
    end_hangul,       // " " and the syllable spelt from its jamo
};
constexpr std::uint32_t hangul_first = 0xAC00;
constexpr std::uint32_t hangul_last = 0xD7A3;
extern const std::uint8_t phrases[];
// Where every phrase_mark_step-th phrase starts: a phrase is found from the mark before it.
constexpr std::uint32_t phrase_mark_step = 16;
extern const std::uint32_t phrase_marks[];

// Two-level tables of one value per code: index[code >> block_shift] is the block, and
// blocks[block << block_shift | (code & mask)] the value.
constexpr std::uint32_t block_shift = 6;
extern const std::uint16_t code_phrase_index[];
extern const std::uint16_t code_phrase_blocks[];
// ICU's general category (UCharCategory's numbers), and wide_bit for a wide code.
constexpr std::uint8_t wide_bit = 0x80;
extern const std::uint16_t code_kind_index[];
extern const std::uint8_t code_kind_blocks[];

template <typename T> T value_at(const std::uint16_t* index, const T* blocks, std::uint32_t code) {
    const std::uint32_t block = index[code >> block_shift];
    return blocks[block << block_shift | (code & ((1u << block_shift) - 1))];
}

// Where the data come from, for --version: "ICU 72.1, built in".
extern const char source[];

} // namespace table_data
