// Writes the character data of a build without ICU (names_table.cpp, classes_table.cpp) as
// C++ arrays, from the ICU of the machine that builds: every name ICU gives a code of
// 0000 to FFFF, its general category and whether it is wide. Run on the build machine
// only, so it may use ICU where the program it feeds cannot.
//
// The names are compressed as a word list and phrases of word numbers: a name is a
// phrase, its words separated by spaces. A name that ends in its own code ("-4E00",
// "-0080>") keeps the phrase without it, and a Hangul syllable's phrase is
// "HANGUL SYLLABLE" without the syllable, which the reader spells from its jamo; so whole
// ranges of codes share one phrase. Every code's phrase number, category and width go
// into two-level tables whose identical blocks are stored once.
//
// Usage: unicode_table_generator OUTPUT.cpp
#include "unicode/table_data.h"

#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string name_of(std::uint32_t code) {
    char buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(static_cast<UChar32>(code), U_EXTENDED_CHAR_NAME, buffer,
                                      sizeof buffer, &status);
    if (U_FAILURE(status) || length <= 0) {
        std::fprintf(stderr, "no name for %04X: %s\n", code, u_errorName(status));
        std::exit(1);
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string hex4(std::uint32_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", code);
    return text;
}

// A name without the part the reader makes again from the code, and which part that is.
struct phrase_text {
    std::string words;
    std::uint8_t ending = table_data::end_plain;
};

phrase_text split_name(std::uint32_t code, const std::string& name) {
    std::string own(1, '-'); // not "-" + string: GCC 12 warns wrongly of an overlap
    own += hex4(code);
    if (name.ends_with(own)) {
        return {name.substr(0, name.size() - own.size()), table_data::end_code};
    }
    if (name.ends_with(own + ">")) {
        return {name.substr(0, name.size() - own.size() - 1), table_data::end_code_bracket};
    }
    const std::string hangul = "HANGUL SYLLABLE ";
    if (code >= table_data::hangul_first && code <= table_data::hangul_last &&
        name.starts_with(hangul)) {
        return {hangul.substr(0, hangul.size() - 1), table_data::end_hangul};
    }
    return {name, table_data::end_plain};
}

std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// One byte per code of the first words, two for the rest (see table_data.h).
void put_word(std::vector<std::uint8_t>& out, std::uint32_t word) {
    if (word < table_data::one_byte_words) {
        out.push_back(static_cast<std::uint8_t>(word));
        return;
    }
    const std::uint32_t rest = word - table_data::one_byte_words;
    out.push_back(static_cast<std::uint8_t>(table_data::one_byte_words + rest / 256));
    out.push_back(static_cast<std::uint8_t>(rest % 256));
}

template <typename T>
void write_array(std::ostream& out, const char* type, const char* name,
                 const std::vector<T>& values) {
    out << "extern const " << type << " " << name << "[] = {";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << (i % 16 == 0 ? "\n    " : " ") << static_cast<std::uint32_t>(values[i]) << ",";
    }
    out << "\n};\n";
}

// The two-level table of one value per code: for each block of 2^shift codes, the
// number of its block among the distinct blocks stored.
template <typename T>
void write_two_level(std::ostream& out, const char* type, const char* name,
                     const std::vector<T>& values) {
    constexpr std::uint32_t size = 1u << table_data::block_shift;
    // Compared element by element: GCC 12 warns wrongly of an overread in the memcmp that
    // the plain comparison of byte vectors becomes.
    const auto less = [](const std::vector<T>& a, const std::vector<T>& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](T x, T y) { return x < y; });
    };
    std::map<std::vector<T>, std::uint16_t, decltype(less)> numbers(less);
    std::vector<std::uint16_t> index;
    std::vector<T> blocks;
    for (std::size_t start = 0; start < values.size(); start += size) {
        std::vector<T> block(values.begin() + static_cast<std::ptrdiff_t>(start),
                             values.begin() + static_cast<std::ptrdiff_t>(start + size));
        const auto [at, added] = numbers.emplace(block, static_cast<std::uint16_t>(numbers.size()));
        if (added) {
            blocks.insert(blocks.end(), block.begin(), block.end());
        }
        index.push_back(at->second);
    }
    write_array(out, "std::uint16_t", (std::string(name) + "_index").c_str(), index);
    write_array(out, type, (std::string(name) + "_blocks").c_str(), blocks);
    std::fprintf(stderr, "%s: %zu distinct blocks\n", name, numbers.size());
}

std::uint8_t category_and_width(std::uint32_t code) {
    const auto c = static_cast<UChar32>(code);
    const auto width =
        static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
    const bool wide = width == U_EA_WIDE || width == U_EA_FULLWIDTH;
    return static_cast<std::uint8_t>(u_charType(c) | (wide ? table_data::wide_bit : 0));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: unicode_table_generator OUTPUT.cpp\n");
        return 2;
    }
    std::vector<phrase_text> phrase_of(table_data::codes);
    std::map<std::string, std::uint32_t> word_counts;
    for (std::uint32_t code = 0; code < table_data::codes; ++code) {
        phrase_of[code] = split_name(code, name_of(code));
        for (const auto& word : words_of(phrase_of[code].words)) {
            ++word_counts[word];
        }
    }

    // The most frequent words get the one-byte numbers.
    std::vector<std::pair<std::string, std::uint32_t>> by_count(word_counts.begin(),
                                                                word_counts.end());
    std::stable_sort(by_count.begin(), by_count.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    const std::size_t most =
        table_data::one_byte_words + (table_data::phrase_end - table_data::one_byte_words) * 256;
    if (by_count.size() > most) {
        std::fprintf(stderr, "%zu words, more than %zu can be numbered\n", by_count.size(), most);
        return 1;
    }
    std::map<std::string, std::uint32_t> word_number;
    std::vector<std::uint8_t> lexicon;
    std::vector<std::uint16_t> word_offsets;
    for (const auto& [word, count] : by_count) {
        word_number[word] = static_cast<std::uint32_t>(word_offsets.size());
        if (lexicon.size() > UINT16_MAX) {
            std::fprintf(stderr, "the words take more than 64 KiB\n");
            return 1;
        }
        word_offsets.push_back(static_cast<std::uint16_t>(lexicon.size()));
        lexicon.insert(lexicon.end(), word.begin(), word.end());
        lexicon.back() |= table_data::word_end_bit; // names are ASCII
    }

    // Each distinct phrase once, numbered; a mark every phrase_mark_step phrases.
    std::map<std::pair<std::string, std::uint8_t>, std::uint16_t> phrase_number;
    std::vector<std::uint8_t> phrases;
    std::vector<std::uint32_t> marks;
    std::vector<std::uint16_t> code_phrase(table_data::codes);
    for (std::uint32_t code = 0; code < table_data::codes; ++code) {
        const auto key = std::make_pair(phrase_of[code].words, phrase_of[code].ending);
        const auto found = phrase_number.find(key);
        if (found != phrase_number.end()) {
            code_phrase[code] = found->second;
            continue;
        }
        const auto number = static_cast<std::uint16_t>(phrase_number.size());
        if (number % table_data::phrase_mark_step == 0) {
            marks.push_back(static_cast<std::uint32_t>(phrases.size()));
        }
        for (const auto& word : words_of(key.first)) {
            put_word(phrases, word_number[word]);
        }
        phrases.push_back(static_cast<std::uint8_t>(table_data::phrase_end + key.second));
        phrase_number.emplace(key, number);
        code_phrase[code] = number;
    }

    std::vector<std::uint8_t> kinds(table_data::codes);
    for (std::uint32_t code = 0; code < table_data::codes; ++code) {
        kinds[code] = category_and_width(code);
    }

    std::ofstream out(argv[1], std::ios::binary);
    out << "// Generated by unicode_table_generator from ICU " U_ICU_VERSION
           "'s data. Do not edit.\n"
        << "#include \"unicode/table_data.h\"\n\n"
        << "namespace table_data {\n"
        << "extern const char source[] = \"ICU " U_ICU_VERSION ", built in\";\n";
    write_array(out, "std::uint8_t", "lexicon", lexicon);
    write_array(out, "std::uint16_t", "word_offsets", word_offsets);
    write_array(out, "std::uint8_t", "phrases", phrases);
    write_array(out, "std::uint32_t", "phrase_marks", marks);
    write_two_level(out, "std::uint16_t", "code_phrase", code_phrase);
    write_two_level(out, "std::uint8_t", "code_kind", kinds);
    out << "} // namespace table_data\n";
    out.close();
    std::fprintf(stderr, "%zu words (%zu bytes), %zu phrases (%zu bytes)\n", word_offsets.size(),
                 lexicon.size(), phrase_number.size(), phrases.size());
    return out ? 0 : 1;
}
