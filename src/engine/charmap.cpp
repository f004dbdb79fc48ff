#include "engine/charmap.h"

#include "engine/dsc_text.h"
#include "engine/ucm.h"
#include "engine/visible.h"

#include <algorithm>

namespace {

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
    const std::optional<std::uint32_t> value =
        number(text.substr(from, end - from), base, max_digits);
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

// The code point of a symbol <UXXXX> or <UXXXXXXXX>.
std::optional<std::uint32_t> symbol_code(std::string_view symbol) {
    if (symbol.size() != 5 && symbol.size() != 9) {
        return std::nullopt;
    }
    return symbol[0] == 'U' ? number(symbol.substr(1), 16, 8) : std::nullopt;
}

} // namespace

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
    if (const std::string why = ucm_one_way(parsed.precision.value_or('0')); !why.empty()) {
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
        reader.result.charset = ucm_unquoted(value);
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

std::string charmap_text(std::string_view name, const std::vector<written_entry>& entries,
                         const std::string& origin) {
    std::string text = "<code_set_name> " + charset_word(name) +
                       "\n<comment_char> %\n<escape_char> /\n% " + one_line(origin) +
                       "\n<mb_cur_min> 1\n<mb_cur_max> 1\n\nCHARMAP\n";
    for (const written_entry& entry : entries) {
        std::string symbol = "<U" + hex_digits(entry.code, 4) + '>';
        std::string bytes = "/x" + hex_digits(entry.byte, 2);
        symbol.resize(std::max<std::size_t>(symbol.size() + 1, 12), ' ');
        bytes.resize(std::max<std::size_t>(bytes.size() + 1, 13), ' ');
        std::string line = symbol + bytes + entry.name;
        while (line.ends_with(' ')) {
            line.pop_back();
        }
        text += line + '\n';
    }
    return text + "END CHARMAP\n";
}
