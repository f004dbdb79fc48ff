#include "engine/mapping_sources.h"

#include "engine/dsc_text.h"
#include "engine/visible.h"

#include <array>
#include <memory>
#include <span>

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t skip_blanks(std::string_view text, std::size_t from) {
    while (from < text.size() && is_blank(text[from])) {
        ++from;
    }
    return from;
}

std::size_t skip_word(std::string_view text, std::size_t from) {
    while (from < text.size() && !is_blank(text[from])) {
        ++from;
    }
    return from;
}

// The words of a text joined by single spaces, as a name is written.
std::string collapse(std::string_view text) {
    std::string words;
    for (std::size_t at = skip_blanks(text, 0); at < text.size(); at = skip_blanks(text, at)) {
        const std::size_t end = skip_word(text, at);
        if (!words.empty()) {
            words += ' ';
        }
        words += text.substr(at, end - at);
        at = end;
    }
    return words;
}

int digit_value(char c, int base) {
    int value = 99;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// The number written by digits in base, at most max_digits of them; none when a character
// is no digit or the text is empty or too long.
std::optional<std::uint32_t> number(std::string_view digits, int base, std::size_t max_digits) {
    if (digits.empty() || digits.size() > max_digits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = digit_value(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// "0x80", "0x0410": hexadecimal with its prefix.
std::optional<std::uint32_t> prefixed_hex(std::string_view field) {
    if (field.size() < 3 || field[0] != '0' || (field[1] != 'x' && field[1] != 'X')) {
        return std::nullopt;
    }
    return number(field.substr(2), 16, 8);
}

std::string byte_text(std::uint8_t byte) {
    return "byte " + hex_digits(byte, 2);
}

constexpr std::uint32_t LAST_CODE = 0x10FFFF;

// One line of the source, with what a note about it needs.
struct source_line {
    std::string_view text;
    std::uint64_t number = 0;
};

// Each byte may be warned about again and again (a file of one line repeated): past this
// many warnings, the rest are only counted, so that what is kept stays small.
constexpr std::size_t WARNINGS_MAX = 512;

class source_reader {
  public:
    mapping_source result;
    std::uint8_t first = 0;

    bool failed() const { return result.error.has_value(); }

    void fail(const source_line& line, std::size_t at, std::size_t span, std::string message) {
        if (!failed()) {
            result.error = note(line, at, span, std::move(message), std::nullopt);
        }
    }

    void fail_file(std::string message) {
        if (!failed()) {
            result.error.emplace();
            result.error->column = 0;
            result.error->message = std::move(message);
        }
    }

    void warn(const source_line& line, std::size_t at, std::size_t span, std::string message,
              std::optional<std::uint8_t> byte) {
        if (byte && *byte < first) {
            return;
        }
        if (result.warnings.size() >= WARNINGS_MAX) {
            ++warnings_not_kept_;
            return;
        }
        result.warnings.push_back(note(line, at, span, std::move(message), byte));
    }

    // A byte defined as the characters `codes` at [at, at + span) of the line. Only a
    // definition that is taken claims the byte: one left out (beyond FFFF, several
    // characters) leaves the byte to a later, valid one.
    void define(const source_line& line, std::size_t at, std::size_t span, std::uint8_t byte,
                std::span<const std::uint32_t> codes, std::string name) {
        if (defined_on_[byte] != 0) {
            warn(line, at, span,
                 byte_text(byte) + " is defined again; the definition on line " +
                     std::to_string(defined_on_[byte]) + " is kept",
                 byte);
            return;
        }
        if (codes.size() != 1) {
            std::string listed;
            for (const std::uint32_t code : codes) {
                listed += (listed.empty() ? "U+" : " U+") + hex_digits(code, 4);
            }
            warn(line, at, span,
                 byte_text(byte) + " maps to " + std::to_string(codes.size()) + " characters (" +
                     listed + "), and a map holds one per byte: left out",
                 byte);
        } else if (codes[0] > 0xFFFF) {
            warn(line, at, span,
                 byte_text(byte) + " maps to U+" + hex_digits(codes[0], 4) +
                     ", beyond FFFF, and a map holds 16-bit codes: left out",
                 byte);
        } else {
            defined_on_[byte] = line.number;
            if (byte >= first) {
                result.entries.push_back({.byte = byte,
                                          .code = static_cast<std::uint16_t>(codes[0]),
                                          .name = std::move(name)});
            }
        }
    }

    // A code of several bytes: no map can hold it. They come by the thousand in the
    // charmap of a multi-byte code set, so the first one stands for all of them.
    void multi_byte(const source_line& line, std::size_t at, std::size_t span,
                    std::uint64_t codes) {
        if (multi_byte_codes_ == 0) {
            first_multi_byte_ = note(line, at, span, "", std::nullopt);
        }
        multi_byte_codes_ += codes;
    }

    void finish() {
        if (failed()) {
            return;
        }
        if (multi_byte_codes_ != 0) {
            first_multi_byte_.message =
                "a code of more than one byte, and a map holds single bytes: left out";
            if (multi_byte_codes_ > 1) {
                first_multi_byte_.message +=
                    ", with " + std::to_string(multi_byte_codes_ - 1) + " more multi-byte codes";
            }
            result.warnings.push_back(first_multi_byte_);
        }
        if (warnings_not_kept_ != 0) {
            result.warnings.emplace_back();
            result.warnings.back().column = 0;
            result.warnings.back().message =
                std::to_string(warnings_not_kept_) + " more warnings like these are not shown";
        }
    }

  private:
    std::array<std::uint64_t, 256> defined_on_{}; // the line of each byte's definition taken
    std::uint64_t multi_byte_codes_ = 0;
    std::uint64_t warnings_not_kept_ = 0;
    source_note first_multi_byte_;

    static source_note note(const source_line& line, std::size_t at, std::size_t span,
                            std::string message, std::optional<std::uint8_t> byte) {
        return {.line = line.number,
                .column = at + 1,
                .span = span,
                .message = std::move(message),
                .text = std::string(line.text),
                .byte = byte};
    }
};

// --- The Unicode mapping file format ---------------------------------------------------

void read_unicode_line(source_reader& reader, const source_line& line) {
    const std::string_view text = line.text;
    const std::size_t start = skip_blanks(text, 0);
    if (start == text.size() || text[start] == '#') {
        return;
    }
    const std::size_t hash = text.find('#', start);
    const std::string_view data = text.substr(0, hash);
    const std::string name =
        hash == std::string_view::npos ? std::string() : collapse(text.substr(hash + 1));

    const std::size_t byte_end = skip_word(data, start);
    const std::optional<std::uint32_t> byte = prefixed_hex(data.substr(start, byte_end - start));
    if (!byte) {
        reader.fail(line, start, byte_end - start,
                    "expected the code page's code, such as 0x80, in the first column");
        return;
    }
    std::size_t at = skip_blanks(data, byte_end);
    if (at == data.size() || name.starts_with("UNDEFINED")) {
        return; // the source says the byte is undefined
    }
    const std::size_t codes_start = at;
    std::vector<std::uint32_t> codes;
    for (; at < data.size(); at = skip_blanks(data, at)) {
        const std::size_t end = skip_word(data, at);
        // Several characters are written "0x05D0+0x05B7" or in columns of their own.
        for (std::size_t part = at; part < end;) {
            // Only within the word: a '+' further on must not be looked for again from
            // every word before it.
            const std::size_t plus = std::min(data.substr(0, end).find('+', part), end);
            const std::optional<std::uint32_t> code = prefixed_hex(data.substr(part, plus - part));
            if (!code || *code > LAST_CODE) {
                reader.fail(line, part, plus - part,
                            code ? "U+" + hex_digits(*code, 4) +
                                       " is beyond the last UNICODE code, 10FFFF"
                                 : "expected a UNICODE code, such as 0x0410");
                return;
            }
            codes.push_back(*code);
            part = plus + 1;
        }
        at = end;
    }
    if (*byte > 0xFF) {
        reader.multi_byte(line, start, byte_end - start, 1);
        return;
    }
    reader.define(line, codes_start, at - codes_start, static_cast<std::uint8_t>(*byte), codes,
                  name);
}

// --- The POSIX charmap ----------------------------------------------------------------

struct charmap_syntax {
    char comment = '#';
    char escape = '\\';
};

// A symbol such as <U0410>, at text[at] == '<'; the escape character takes the next one
// as it is. Moves at past it; none when it is not closed.
std::optional<std::string> read_symbol(std::string_view text, std::size_t& at, char escape) {
    std::string symbol;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == escape && i + 1 < text.size()) {
            symbol += text[++i];
        } else if (text[i] == '>') {
            at = i + 1;
            return symbol;
        } else {
            symbol += text[i];
        }
    }
    return std::nullopt;
}

// The code point of a symbol <UXXXX> or <UXXXXXXXX>.
std::optional<std::uint32_t> symbol_code(std::string_view symbol) {
    if (symbol.size() != 5 && symbol.size() != 9) {
        return std::nullopt;
    }
    return symbol[0] == 'U' ? number(symbol.substr(1), 16, 8) : std::nullopt;
}

// One byte of an encoding such as /x80, /d128 or /200, at text[at] == escape.
std::optional<std::uint8_t> read_encoded_byte(std::string_view text, std::size_t& at) {
    std::size_t from = at + 1;
    int base = 8;
    std::size_t max_digits = 3;
    if (from < text.size() && (text[from] == 'x' || text[from] == 'X')) {
        base = 16;
        max_digits = 2;
        ++from;
    } else if (from < text.size() && (text[from] == 'd' || text[from] == 'D')) {
        base = 10;
        ++from;
    } else if (from < text.size() && (text[from] == 'o' || text[from] == 'O')) {
        ++from;
    }
    std::size_t end = from;
    while (end < text.size() && end - from < max_digits && digit_value(text[end], base) >= 0) {
        ++end;
    }
    const std::optional<std::uint32_t> value = number(text.substr(from, end - from), base, 3);
    if (!value || *value > 0xFF) {
        return std::nullopt;
    }
    at = end;
    return static_cast<std::uint8_t>(*value);
}

struct charmap_line {
    std::vector<std::string> symbols;     // several for a sequence of characters
    std::optional<std::string> range_end; // <U0000>..<U007F>
    std::vector<std::uint8_t> bytes;
    std::size_t symbols_end = 0;
    std::size_t bytes_start = 0;
    std::size_t bytes_end = 0;
    std::optional<char> precision; // an ICU .ucm precision flag: '0' for |0
    std::size_t precision_at = 0;
    std::string comment;
};

// Reads "<symbol>[..<symbol>] encoding [comment]"; false after reporting a fault.
bool parse_charmap_line(source_reader& reader, const source_line& line, std::size_t start,
                        const charmap_syntax& syntax, charmap_line& parsed) {
    const std::string_view text = line.text;
    std::size_t at = start;
    while (at < text.size() && text[at] == '<') {
        const std::size_t symbol_start = at;
        std::optional<std::string> symbol = read_symbol(text, at, syntax.escape);
        if (!symbol) {
            reader.fail(line, symbol_start, text.size() - symbol_start,
                        "the symbol has no closing '>'");
            return false;
        }
        parsed.symbols.push_back(std::move(*symbol));
    }
    if (parsed.symbols.empty()) {
        reader.fail(line, start, skip_word(text, start) - start,
                    "expected a character symbol such as <U0410>");
        return false;
    }
    const std::string_view rest = text.substr(at);
    if (parsed.symbols.size() == 1 && (rest.starts_with("..<") || rest.starts_with("...<"))) {
        at = text.find('<', at);
        const std::size_t end_start = at;
        parsed.range_end = read_symbol(text, at, syntax.escape);
        if (!parsed.range_end) {
            reader.fail(line, end_start, text.size() - end_start, "the symbol has no closing '>'");
            return false;
        }
    }
    parsed.symbols_end = at;
    parsed.bytes_start = skip_blanks(text, at);
    if (parsed.bytes_start == at) {
        reader.fail(line, at, 1,
                    "expected blanks and the encoding, such as /x80, after the symbol");
        return false;
    }
    at = parsed.bytes_start;
    while (at < text.size() && text[at] == syntax.escape) {
        const std::size_t byte_start = at;
        const std::optional<std::uint8_t> byte = read_encoded_byte(text, at);
        if (!byte) {
            reader.fail(line, byte_start, skip_word(text, byte_start) - byte_start,
                        "expected an encoded byte, such as " + std::string(1, syntax.escape) +
                            "x80");
            return false;
        }
        parsed.bytes.push_back(*byte);
    }
    parsed.bytes_end = at;
    if (parsed.bytes.empty() || (at < text.size() && !is_blank(text[at]))) {
        reader.fail(line, at, std::max<std::size_t>(skip_word(text, at) - at, 1),
                    "expected an encoded byte, such as " + std::string(1, syntax.escape) + "x80");
        return false;
    }
    const std::size_t flag = skip_blanks(text, at);
    if (flag < text.size() && text[flag] == '|') {
        if (flag + 1 == text.size() || text[flag + 1] < '0' || text[flag + 1] > '4' ||
            (flag + 2 < text.size() && !is_blank(text[flag + 2]))) {
            reader.fail(line, flag, skip_word(text, flag) - flag,
                        "expected a precision flag, |0 to |4");
            return false;
        }
        parsed.precision = text[flag + 1];
        parsed.precision_at = flag;
        at = flag + 2;
    }
    std::string_view comment = text.substr(skip_blanks(text, at));
    if (parsed.precision && comment.starts_with('#')) {
        comment.remove_prefix(1);
    }
    parsed.comment = collapse(comment);
    return true;
}

// Why an ICU mapping of this precision is no entry of a map, which converts both ways;
// empty for |0, a round trip.
std::string one_way(char precision) {
    switch (precision) {
    case '1':
        return "a fallback (|1), used only from UNICODE to the code page";
    case '2':
        return "a substitution by <subchar1> (|2), used only from UNICODE to the code page";
    case '3':
        return "a reverse fallback (|3), used only from the code page to UNICODE";
    case '4':
        return "a one-way mapping (|4), used only from UNICODE to the code page";
    default:
        return {};
    }
}

void read_charmap_entry(source_reader& reader, const source_line& line, std::size_t start,
                        const charmap_syntax& syntax) {
    charmap_line parsed;
    if (!parse_charmap_line(reader, line, start, syntax, parsed)) {
        return;
    }
    const std::size_t symbols_span = parsed.symbols_end - start;
    const std::size_t bytes_span = parsed.bytes_end - parsed.bytes_start;
    std::vector<std::uint32_t> codes;
    for (const std::string& symbol : parsed.symbols) {
        const std::optional<std::uint32_t> code = symbol_code(symbol);
        if (code && *code > LAST_CODE) {
            reader.fail(line, start, symbols_span,
                        "U+" + hex_digits(*code, 4) + " is beyond the last UNICODE code, 10FFFF");
            return;
        }
        if (!code) {
            if (parsed.bytes.size() == 1) {
                reader.warn(line, start, symbols_span,
                            byte_text(parsed.bytes[0]) + " is named <" + visible(symbol) +
                                ">, which is no UNICODE code such as <U0410>: left out",
                            parsed.bytes[0]);
            } else {
                reader.multi_byte(line, parsed.bytes_start, bytes_span, 1);
            }
            return;
        }
        codes.push_back(*code);
    }
    std::uint32_t count = 1;
    if (parsed.range_end) {
        const std::optional<std::uint32_t> last = symbol_code(*parsed.range_end);
        if (!last || *last < codes[0] || *last > LAST_CODE) {
            reader.fail(line, start, symbols_span,
                        "a range runs from a <U...> symbol up to a later one");
            return;
        }
        count = *last - codes[0] + 1;
    }
    if (parsed.bytes.size() > 1) {
        reader.multi_byte(line, parsed.bytes_start, bytes_span, count);
        return;
    }
    if (const std::string why = one_way(parsed.precision.value_or('0')); !why.empty()) {
        reader.warn(line, parsed.precision_at, 2,
                    byte_text(parsed.bytes[0]) + " to U+" + hex_digits(codes[0], 4) + " is " + why +
                        ", and a map holds round-trip entries: left out",
                    parsed.bytes[0]);
        return;
    }
    if (parsed.bytes[0] + count - 1 > 0xFF) {
        reader.fail(line, start, symbols_span, "the range runs past byte FF");
        return;
    }
    if (!parsed.range_end) {
        reader.define(line, start, parsed.bytes_end - start, parsed.bytes[0], codes,
                      std::move(parsed.comment));
        return;
    }
    // A range's comment describes the range, not each character.
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t code = codes[0] + i;
        reader.define(line, start, parsed.bytes_end - start,
                      static_cast<std::uint8_t>(parsed.bytes[0] + i), {&code, 1}, {});
    }
}

// A quoted value, as ICU writes them: "ibm-866_P100-1995".
std::string unquoted(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The declarations only ICU's .ucm files have.
bool is_ucm_keyword(std::string_view word) {
    return word == "<uconv_class>" || word == "<subchar>" || word == "<subchar1>" ||
           word == "<char_name_mask>" || word.starts_with("<icu:");
}

// A line before CHARMAP: "<keyword> value", a comment or nothing. False after CHARMAP.
bool read_charmap_declaration(source_reader& reader, const source_line& line,
                              charmap_syntax& syntax) {
    const std::string_view text = line.text;
    const std::size_t start = skip_blanks(text, 0);
    if (start == text.size() || text[start] == syntax.comment) {
        return true;
    }
    const std::size_t word_end = skip_word(text, start);
    const std::string_view word = text.substr(start, word_end - start);
    const std::string value = collapse(text.substr(word_end));
    if (word == "CHARMAP" && value.empty()) {
        return false;
    }
    if (word == "<code_set_name>" && !value.empty()) {
        reader.result.charset = unquoted(value);
    } else if ((word == "<comment_char>" || word == "<escape_char>") && value.size() == 1) {
        (word == "<comment_char>" ? syntax.comment : syntax.escape) = value[0];
    } else if (word == "<mb_cur_max>" || word == "<mb_cur_min>") {
        // Single bytes are told by each line's encoding.
    } else if (is_ucm_keyword(word)) {
        reader.result.format = source_format::ucm;
    } else if (word.starts_with("<U") && word.ends_with('>') &&
               symbol_code(word.substr(1, word.size() - 2))) {
        reader.fail(line, start, word_end - start, "a mapping before the CHARMAP line");
    } else {
        reader.fail(line, start, word_end - start,
                    "expected a declaration such as <code_set_name> NAME, or CHARMAP");
    }
    return true;
}

} // namespace

line_kind kind_of_line(std::string_view text) {
    const std::size_t start = skip_blanks(text, 0);
    const std::string_view rest = text.substr(start);
    if (rest.empty() || rest[0] == '#' || rest[0] == '%') {
        return line_kind::nothing;
    }
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        return line_kind::unicode_table;
    }
    if (rest[0] == '<' || collapse(rest) == "CHARMAP") {
        return line_kind::charmap;
    }
    if (rest.starts_with("//")) {
        return line_kind::dsc;
    }
    // An entry as mapmaker reads one: hexadecimal digits, a comma or a space, maybe more
    // spaces, and a hexadecimal digit.
    std::size_t at = 0;
    while (at < rest.size() && digit_value(rest[at], 16) >= 0) {
        ++at;
    }
    if (at == 0 || at == rest.size() || (rest[at] != ',' && rest[at] != ' ')) {
        return line_kind::unknown;
    }
    at = rest.find_first_not_of(' ', at + 1);
    return at != std::string_view::npos && digit_value(rest[at], 16) >= 0 ? line_kind::dsc
                                                                          : line_kind::unknown;
}

struct mapping_reader::state {
    source_reader reader;
    enum class part : std::uint8_t { start, unicode, declarations, mappings, done };
    part now = part::start;
    charmap_syntax syntax;
    std::uint64_t number = 0;
};

mapping_reader::mapping_reader(std::uint8_t first) : state_(std::make_unique<state>()) {
    state_->reader.first = first;
}

mapping_reader::~mapping_reader() = default;

bool mapping_reader::take(std::string_view text) {
    state& s = *state_;
    source_reader& reader = s.reader;
    const source_line line{text, ++s.number};
    if (s.now == state::part::start) {
        const line_kind kind = kind_of_line(text);
        if (kind == line_kind::nothing) {
            return true;
        }
        if (kind == line_kind::unicode_table) {
            s.now = state::part::unicode;
        } else if (kind == line_kind::charmap) {
            s.now = state::part::declarations;
            reader.result.format = source_format::charmap;
        } else {
            const std::size_t start = skip_blanks(text, 0);
            reader.fail(line, start, skip_word(text, start) - start,
                        "neither a Unicode mapping table (lines such as 0x80 0x0410) nor a "
                        "charmap or ICU .ucm file (<code_set_name>, CHARMAP)");
            return false;
        }
    }
    switch (s.now) {
    case state::part::unicode:
        read_unicode_line(reader, line);
        break;
    case state::part::declarations:
        if (!read_charmap_declaration(reader, line, s.syntax)) {
            s.now = state::part::mappings;
        }
        break;
    case state::part::mappings: {
        const std::size_t start = skip_blanks(text, 0);
        if (start == text.size() || text[start] == s.syntax.comment) {
            break;
        }
        if (collapse(text) == "END CHARMAP") {
            s.now = state::part::done; // what follows, such as WIDTH, is not about bytes
            return false;
        }
        read_charmap_entry(reader, line, start, s.syntax);
        break;
    }
    default:
        return false;
    }
    return !reader.failed();
}

mapping_source mapping_reader::finish() {
    state& s = *state_;
    if (s.now == state::part::start) {
        s.reader.fail_file("no mapping in the file");
    } else if (s.now == state::part::declarations) {
        s.reader.fail_file("the charmap has no CHARMAP line");
    } else if (s.now == state::part::mappings) {
        s.reader.fail_file("the charmap has no END CHARMAP line");
    }
    s.reader.finish();
    return std::move(s.reader.result);
}

mapping_source read_mapping_source(std::string_view text, std::uint8_t first) {
    mapping_reader reader(first);
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!reader.take(line)) {
            break;
        }
    }
    return reader.finish();
}
