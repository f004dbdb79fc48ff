#include "engine/which.h"

#include "engine/files.h"
#include "platform/files.h"
#include "unicode/names.h"

#if defined(MAPTOOL_CODE_PAGES)
#include "platform/code_pages.h"
#endif

#include <algorithm>
#include <cerrno>
#include <sstream>

namespace {

// What the score needs to know of a character.
struct character_kind {
    bool letter = false;
    bool capital = false;
    bool ascii = false;
    bool control = false;
    bool punctuation = false; // quotation marks, dashes, spaces: found beside letters
    std::string script;       // a letter's: the first word of its name, "CYRILLIC"
};

character_kind kind_of(std::uint32_t code) {
    character_kind kind;
    kind.ascii = code < 0x80;
    if (kind.ascii) {
        const char c = static_cast<char>(code);
        kind.letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        kind.capital = c >= 'A' && c <= 'Z';
        kind.script = kind.letter ? "LATIN" : "";
        return kind;
    }
    // Names, not properties: they are what the unicode layer offers, with ICU or without
    // (then no character is known to be a letter, and only unmapped bytes count).
    const std::string name = char_name(code);
    const auto has = [&name](const char* word) { return name.find(word) != std::string::npos; };
    kind.letter = has(" LETTER ");
    kind.capital = kind.letter && has(" CAPITAL ");
    kind.control = name.rfind("<control", 0) == 0;
    kind.punctuation = has("QUOTATION") || has("DASH") || has("HYPHEN") || has("SPACE");
    kind.script = kind.letter ? name.substr(0, name.find(' ')) : "";
    return kind;
}

// Whether y right after x is unlikely in text of any language: never two ASCII characters,
// which every table reads alike ("GPL" in a Russian text is no capital inside a word of
// any code page); a capital inside a word,
// letters of two scripts in one word, two accented Latin letters side by side (what a
// Latin code page makes of another script), a sign beside a letter that is no ASCII, or
// two such signs side by side (what a code page of box drawing and symbols makes of
// letters).
bool unlikely_pair(const character_kind& x, const character_kind& y) {
    if (x.ascii && y.ascii) {
        return false;
    }
    if (x.letter && y.letter) {
        return y.capital || x.script != y.script || (x.script == "LATIN" && !x.ascii && !y.ascii);
    }
    const auto odd_sign = [](const character_kind& k) {
        return !k.ascii && !k.letter && !k.punctuation;
    };
    return (x.letter && !x.ascii && odd_sign(y)) || (y.letter && !y.ascii && odd_sign(x)) ||
           (odd_sign(x) && odd_sign(y));
}

// Whether two pages decode a byte alike (both not at all counts).
bool decode_alike(const code_page& a, const code_page& b, std::size_t byte) {
    const code_page::utf8_char& x = a.decoded[byte];
    const code_page::utf8_char& y = b.decoded[byte];
    return x.size == y.size && x.bytes == y.bytes;
}

} // namespace

std::uint32_t bytes_differing(const code_page& a, const code_page& b) {
    std::uint32_t count = 0;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        count += decode_alike(a, b, byte) ? 0 : 1;
    }
    return count;
}

result<text_sample> read_sample(std::FILE* in) {
    text_sample sample;
    std::array<unsigned char, 1 << 16> buffer;
    int before = -1;
    std::string character; // a UTF-8 character begun and not yet complete
    std::size_t length = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            const unsigned char byte = buffer[i];
            ++sample.bytes[byte];
            if (before >= 0) {
                ++sample.pairs[static_cast<std::size_t>(before) << 8 | byte];
            }
            before = byte;
            if (sample.size < sample.head.size()) {
                sample.head[sample.size] = byte;
            }
            if (byte == 0) {
                ++(sample.size % 2 == 0 ? sample.nul_even : sample.nul_odd);
            }
            ++sample.size;
            if (!sample.utf8 || (character.empty() && byte < 0x80)) {
                continue;
            }
            if (character.empty()) {
                length = utf8_sequence_length(byte);
                sample.utf8 = length != 0;
            }
            character += static_cast<char>(byte);
            if (character.size() == length) {
                sample.utf8 = single_character(character).has_value();
                sample.utf8_multibyte += 1;
                character.clear();
            }
        }
    }
    if (std::ferror(in) != 0) {
        return failure{"cannot read: " + system_reason(errno)};
    }
    sample.utf8 = sample.utf8 && character.empty();
    return sample;
}

std::optional<std::string> not_single_byte(const text_sample& sample) {
    const bool bom = sample.size >= 2 && (sample.head[0] == 0xFF || sample.head[0] == 0xFE) &&
                     sample.head[1] == (sample.head[0] ^ 0x01);
    if (bom) {
        return std::string("UTF-16 text, ") + (sample.head[0] == 0xFF
                                                   ? "little-endian (byte order mark FF FE)"
                                                   : "big-endian (byte order mark FE FF)");
    }
    // Text of a code page has no NUL; UTF-16 has one in every ASCII character, at odd
    // offsets when little-endian. Four to one is no accident of binary data.
    const std::uint64_t nuls = sample.nul_even + sample.nul_odd;
    if (nuls != 0 && std::max(sample.nul_even, sample.nul_odd) >=
                         4 * std::min(sample.nul_even, sample.nul_odd)) {
        return "UTF-16 text, " + std::string(sample.nul_odd > sample.nul_even ? "little" : "big") +
               "-endian by its NUL bytes (" + std::to_string(nuls) + " of " +
               std::to_string(sample.size) + " bytes)";
    }
    if (sample.utf8 && sample.utf8_multibyte != 0) {
        return "UTF-8 text: " + std::to_string(sample.utf8_multibyte) +
               (sample.utf8_multibyte == 1 ? " character" : " characters") +
               " beyond ASCII; convert reads UTF-8 as it is";
    }
    return std::nullopt;
}

bool reads_as_ascii(const code_page& page, const text_sample& sample) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const code_page::utf8_char& decoded = page.decoded[byte];
        const bool ascii = byte < 0x80 && decoded.size == 1 &&
                           static_cast<unsigned char>(decoded.bytes[0]) == byte;
        if (sample.bytes[byte] != 0 && !ascii) {
            return false;
        }
    }
    return true;
}

bool read_alike(const code_page& a, const code_page& b, const text_sample& sample) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
        if (sample.bytes[byte] != 0 && !decode_alike(a, b, byte)) {
            return false;
        }
    }
    return true;
}

sample_fit fit_sample(const code_page& page, const text_sample& sample) {
    std::array<character_kind, 256> kinds;
    std::array<bool, 256> mapped{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const code_page::utf8_char& decoded = page.decoded[byte];
        mapped[byte] = decoded.size != 0;
        const std::string text(decoded.bytes.data(), decoded.size);
        if (mapped[byte] && sample.bytes[byte] != 0) {
            kinds[byte] = kind_of(single_character(text).value_or(0));
        }
    }
    sample_fit fit;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        if (!mapped[byte]) {
            fit.unmapped += sample.bytes[byte];
        } else if (kinds[byte].control) {
            fit.unlikely += sample.bytes[byte];
        }
    }
    for (std::size_t pair = 0; pair < sample.pairs.size(); ++pair) {
        const std::size_t x = pair >> 8;
        const std::size_t y = pair & 0xFF;
        if (sample.pairs[pair] != 0 && mapped[x] && mapped[y] &&
            unlikely_pair(kinds[x], kinds[y])) {
            fit.unlikely += sample.pairs[pair];
        }
    }
    return fit;
}

std::optional<std::string> narrow_lead(const sample_fit& best, const sample_fit& next) {
    const bool by_unmapped = next.unmapped != best.unmapped;
    const std::uint64_t lead =
        by_unmapped ? next.unmapped - best.unmapped : next.unlikely - best.unlikely;
    if (lead >= clear_margin) {
        return std::nullopt;
    }
    return std::to_string(lead) + (by_unmapped ? " unmapped byte" : " unlikely pair") +
           (lead == 1 ? "" : "s");
}

#if defined(MAPTOOL_ICONV)

result<std::vector<std::string>> iconv_charsets() {
    // The C library has no call that lists them; its iconv program does.
    std::FILE* listing = popen("iconv -l", "r");
    if (listing == nullptr) {
        return failure{"cannot run iconv -l: " + system_reason(errno)};
    }
    std::string text;
    std::array<char, 4096> buffer;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), listing)) > 0;) {
        text.append(buffer.data(), got);
    }
    if (pclose(listing) != 0) {
        return failure{"iconv -l failed"};
    }
    // One name a line, or, on a terminal, several a line after a heading: each ends in //.
    for (char& c : text) {
        c = c == ',' ? ' ' : c;
    }
    std::vector<std::string> names;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word.size() > 2 && word.ends_with("//")) {
            names.push_back(word.substr(0, word.size() - 2));
        }
    }
    return names;
}

#elif defined(MAPTOOL_CODE_PAGES)

// Without iconv, the names of the system's own code pages that iconv:NAME reads.
result<std::vector<std::string>> iconv_charsets() {
    return code_page_names();
}

#else

result<std::vector<std::string>> iconv_charsets() {
    return failure{"this maptool is built without iconv"};
}

#endif
