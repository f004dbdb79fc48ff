#include "engine/which.h"

#include "engine/files.h"
#include "platform/files.h"
#include "unicode/names.h"

#if defined(MAPTOOL_CODE_PAGES)
#include "platform/code_pages.h"
#endif

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

// Whether y right after x is unlikely in text of any language: a capital inside a word,
// letters of two scripts in one word, two accented Latin letters side by side (what a
// Latin code page makes of another script), a sign beside a letter that is no ASCII, or
// two such signs side by side (what a code page of box drawing and symbols makes of
// letters).
bool unlikely_pair(const character_kind& x, const character_kind& y) {
    if (x.letter && y.letter) {
        return y.capital || x.script != y.script || (x.script == "LATIN" && !x.ascii && !y.ascii);
    }
    const auto odd_sign = [](const character_kind& k) {
        return !k.ascii && !k.letter && !k.punctuation;
    };
    return (x.letter && !x.ascii && odd_sign(y)) || (y.letter && !y.ascii && odd_sign(x)) ||
           (odd_sign(x) && odd_sign(y));
}

} // namespace

std::uint32_t bytes_differing(const code_page& a, const code_page& b) {
    std::uint32_t count = 0;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const code_page::utf8_char& x = a.decoded[byte];
        const code_page::utf8_char& y = b.decoded[byte];
        count += x.size != y.size || x.bytes != y.bytes ? 1 : 0;
    }
    return count;
}

result<text_sample> read_sample(std::FILE* in) {
    text_sample sample;
    std::array<unsigned char, 1 << 16> buffer;
    int before = -1;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            ++sample.bytes[buffer[i]];
            if (before >= 0) {
                ++sample.pairs[static_cast<std::size_t>(before) << 8 | buffer[i]];
            }
            before = buffer[i];
        }
    }
    if (std::ferror(in) != 0) {
        return failure{"cannot read: " + system_reason(errno)};
    }
    return sample;
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
