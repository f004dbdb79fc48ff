// Character names from the table generated out of the build machine's ICU data
// (table_data.h, table_generator.cpp), for a build without ICU: the same names, and the
// same names found, as names_icu.cpp gives for the codes a map holds.
#include "unicode/names.h"

#include "unicode/general_category.h"
#include "unicode/table_data.h"

#include <algorithm>
#include <unordered_map>

using namespace table_data;

namespace {

void append_word(std::string& out, std::uint32_t word) {
    for (std::uint32_t at = word_offsets[word];; ++at) {
        const std::uint8_t letter = lexicon[at];
        out += static_cast<char>(letter & ~word_end_bit);
        if ((letter & word_end_bit) != 0) {
            return;
        }
    }
}

// A phrase is found from the mark before it, skipping at most phrase_mark_step - 1.
const std::uint8_t* phrase_start(std::uint32_t number) {
    const std::uint8_t* at = phrases + phrase_marks[number / phrase_mark_step];
    for (std::uint32_t skip = number % phrase_mark_step; skip > 0; --skip) {
        while (*at < phrase_end) {
            at += *at < one_byte_words ? 1 : 2;
        }
        ++at;
    }
    return at;
}

// A Hangul syllable's name is spelt from its leading consonant, vowel and trailing
// consonant, as the Unicode standard's algorithm says.
constexpr std::uint32_t vowels = 21;
constexpr std::uint32_t trails = 28;
constexpr const char* lead_jamo[] = {"G",  "GG", "N", "D",  "DD", "R", "M", "B", "BB", "S",
                                     "SS", "",   "J", "JJ", "C",  "K", "T", "P", "H"};
constexpr const char* vowel_jamo[] = {"A",   "AE", "YA", "YAE", "EO", "E",  "YEO",
                                      "YE",  "O",  "WA", "WAE", "OE", "YO", "U",
                                      "WEO", "WE", "WI", "YU",  "EU", "YI", "I"};
constexpr const char* trail_jamo[] = {"",   "G",  "GG", "GS", "N",  "NJ", "NH", "D", "L",  "LG",
                                      "LM", "LB", "LS", "LT", "LP", "LH", "M",  "B", "BS", "S",
                                      "SS", "NG", "J",  "C",  "K",  "T",  "P",  "H"};

void append_syllable(std::string& out, std::uint32_t code) {
    const std::uint32_t index = code - hangul_first;
    out += ' ';
    out += lead_jamo[index / (vowels * trails)];
    out += vowel_jamo[index / trails % vowels];
    out += trail_jamo[index % trails];
}

void append_hex(std::string& out, std::uint32_t code) {
    constexpr const char* digits = "0123456789ABCDEF";
    out += '-';
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += digits[code >> shift & 0xF];
    }
}

// The category an extended name such as "<control-0080>" names, in the order of
// general_category and then the three its names tell apart further.
constexpr std::string_view category_names[] = {"unassigned",
                                               "uppercase letter",
                                               "lowercase letter",
                                               "titlecase letter",
                                               "modifier letter",
                                               "other letter",
                                               "non spacing mark",
                                               "enclosing mark",
                                               "combining spacing mark",
                                               "decimal digit number",
                                               "letter number",
                                               "other number",
                                               "space separator",
                                               "line separator",
                                               "paragraph separator",
                                               "control",
                                               "format",
                                               "private use area",
                                               "surrogate",
                                               "dash punctuation",
                                               "start punctuation",
                                               "end punctuation",
                                               "connector punctuation",
                                               "other punctuation",
                                               "math symbol",
                                               "currency symbol",
                                               "modifier symbol",
                                               "other symbol",
                                               "initial punctuation",
                                               "final punctuation",
                                               "noncharacter",
                                               "lead surrogate",
                                               "trail surrogate"};
constexpr std::size_t noncharacter = 30;

std::size_t extended_category(std::uint32_t code) {
    if ((code & 0xFFFE) == 0xFFFE || (code >= 0xFDD0 && code <= 0xFDEF)) {
        return noncharacter;
    }
    const auto kind =
        static_cast<std::size_t>(value_at(code_kind_index, code_kind_blocks, code) & ~wide_bit);
    if (kind == static_cast<std::size_t>(general_category::surrogate)) {
        return code < 0xDC00 ? noncharacter + 1 : noncharacter + 2;
    }
    return kind;
}

// "<category-HHHH>" with 1 to 8 hex digits, lower case, the category the code's own.
std::optional<std::uint32_t> from_extended_name(std::string_view lower) {
    if (lower.size() < 2 || lower.back() != '>') {
        return std::nullopt;
    }
    const std::string_view inside = lower.substr(1, lower.size() - 2);
    const std::size_t dash = inside.rfind('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    // 1 to 8 digits; an empty category is no category's name.
    const std::size_t digits = inside.size() - dash - 1;
    if (digits < 1 || digits > 8) {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    for (const char c : inside.substr(dash + 1)) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(c >= 'a' && c <= 'f')) {
            return std::nullopt;
        }
        code = code << 4 | static_cast<std::uint32_t>(digit ? c - '0' : c - 'a' + 10);
        if (code > 0x10FFFF) {
            return std::nullopt;
        }
    }
    // Only the codes a map can hold are looked for.
    if (code >= codes || inside.substr(0, dash) != category_names[extended_category(code)]) {
        return std::nullopt;
    }
    return code;
}

// The names of every code, read once when first needed, to find a code by its name.
const std::unordered_map<std::string, std::uint32_t>& name_index() {
    static const auto index = [] {
        std::unordered_map<std::string, std::uint32_t> names;
        for (std::uint32_t code = 0; code < codes; ++code) {
            std::string name = char_name(code);
            if (name[0] != '<') {
                names.emplace(std::move(name), code);
            }
        }
        return names;
    }();
    return index;
}

} // namespace

bool names_available() {
    return true;
}

std::string names_source() {
    return source;
}

std::string char_name(std::uint32_t code) {
    if (code >= codes) {
        return {};
    }
    std::string name;
    const std::uint8_t* at = phrase_start(value_at(code_phrase_index, code_phrase_blocks, code));
    for (; *at < phrase_end; ++at) {
        if (!name.empty()) {
            name += ' ';
        }
        std::uint32_t word = *at;
        if (word >= one_byte_words) {
            word = one_byte_words + (word - one_byte_words) * 256 + *++at;
        }
        append_word(name, word);
    }
    const auto ending = static_cast<table_data::ending>(*at - phrase_end);
    if (ending == end_code || ending == end_code_bracket) {
        append_hex(name, code);
    }
    if (ending == end_code_bracket) {
        name += '>';
    }
    if (ending == end_hangul) {
        append_syllable(name, code);
    }
    return name;
}

std::optional<std::uint32_t> char_from_name(std::string_view name) {
    // As names_icu.cpp: no name is this long, and a name ends at a NUL.
    if (name.empty() || name.size() > 120) {
        return std::nullopt;
    }
    name = name.substr(0, name.find('\0'));
    std::string text(name);
    if (!text.empty() && text[0] == '<') {
        std::transform(text.begin(), text.end(), text.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        return from_extended_name(text);
    }
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    const auto found = name_index().find(text);
    return found == name_index().end() ? std::nullopt : std::optional(found->second);
}

// The table holds names, not ICU's converters: no export name is known to clash.
bool icu_has_converter(const std::string&) {
    return false;
}
