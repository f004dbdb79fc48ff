#include "engine/unicode_mapping.h"

#include "engine/dsc_text.h"

#include <algorithm>

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
        // Several characters are written "0x05D0+0x05B7" or in columns of their own. Each
        // part ends at a '+' or at the word's end, so that a '+' at the end leaves an empty
        // part, refused as one between two '+' is.
        for (std::size_t part = at; part <= end;) {
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

std::string unicode_mapping_text(std::string_view name, const std::vector<written_entry>& entries,
                                 const std::string& origin) {
    const std::string shown = one_line(name);
    std::string text = "#\n#\tName:     " + shown + " to Unicode table\n#\t" + one_line(origin) +
                       "\n#\n"
                       "#\tFormat: Three tab-separated columns\n"
                       "#\t\tColumn #1 is the " +
                       shown +
                       " code (in hex)\n"
                       "#\t\tColumn #2 is the Unicode (in hex as 0xXXXX)\n"
                       "#\t\tColumn #3 is the Unicode name (follows a comment sign, '#')\n#\n";
    for (const written_entry& entry : entries) {
        text += "0x" + hex_digits(entry.byte, 2) + "\t0x" + hex_digits(entry.code, 4) +
                (entry.name.empty() ? std::string() : "\t#" + entry.name) + '\n';
    }
    return text;
}
