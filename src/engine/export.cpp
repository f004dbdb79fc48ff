#include "engine/export.h"

#include "engine/dsc_text.h"
#include "engine/dump.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// An entry's name on one line, without control characters, which would end the line or
// hide its rest, and without blanks around it.
std::string clean_name_at(const loaded_table& loaded, std::size_t i) {
    std::string name = name_at(loaded, i);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
            c = ' ';
        }
    }
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    // Read back, these would say something else: a Unicode mapping file's UNDEFINED marks
    // a byte without a character, and |0 after a charmap's bytes is a .ucm precision flag.
    if (name.starts_with("UNDEFINED") || name.starts_with('|')) {
        return {};
    }
    return name;
}

// A charset name as one word of the characters every tool takes in one: ICU and glibc
// read a name up to the first blank, and makeconv allows little else.
std::string charset_word(std::string_view name) {
    std::string word;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        word += plain ? c : '_';
    }
    return word.empty() ? "unnamed" : word;
}

// A comment of one line, for the origin.
std::string one_line(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, ' ');
    return line;
}

std::string ucm_text(const loaded_table& loaded, const std::string& origin) {
    std::string text = "# " + one_line(origin) + "\n" + "<code_set_name>               \"" +
                       charset_word(loaded.name) + "\"\n" +
                       "<mb_cur_max>                  1\n"
                       "<mb_cur_min>                  1\n"
                       "<uconv_class>                 \"SBCS\"\n"
                       "<subchar>                     \\x1A\n"
                       "\nCHARMAP\n";
    std::array<bool, 256> byte_given{};
    std::vector<bool> code_given(0x10000);
    for (const std::size_t i : byte_order(loaded.table)) {
        const std::uint8_t byte = loaded.table.records[i][0];
        const std::uint16_t code = code_at(loaded.table, i);
        const char* precision = !byte_given[byte] && !code_given[code] ? "|0"
                                : !code_given[code]                    ? "|1"
                                : !byte_given[byte]                    ? "|3"
                                                                       : nullptr;
        if (precision == nullptr) {
            text += "# <U" + hex_digits(code, 4) + "> \\x" + hex_digits(byte, 2) +
                    " again: both ways given already\n";
            continue;
        }
        byte_given[byte] = true;
        code_given[code] = true;
        text += "<U" + hex_digits(code, 4) + "> \\x" + hex_digits(byte, 2) + ' ' + precision + '\n';
    }
    return text + "END CHARMAP\n";
}

std::string unicode_text(const loaded_table& loaded, const std::string& origin) {
    const std::string name = one_line(loaded.name);
    std::string text = "#\n#\tName:     " + name + " to Unicode table\n#\t" + one_line(origin) +
                       "\n#\n"
                       "#\tFormat: Three tab-separated columns\n"
                       "#\t\tColumn #1 is the " +
                       name +
                       " code (in hex)\n"
                       "#\t\tColumn #2 is the Unicode (in hex as 0xXXXX)\n"
                       "#\t\tColumn #3 is the Unicode name (follows a comment sign, '#')\n#\n";
    for (const std::size_t i : byte_order(loaded.table)) {
        const std::string entry_name = clean_name_at(loaded, i);
        text += "0x" + hex_digits(loaded.table.records[i][0], 2) + "\t0x" +
                hex_digits(code_at(loaded.table, i), 4) +
                (entry_name.empty() ? std::string() : "\t#" + entry_name) + '\n';
    }
    return text;
}

std::string charmap_text(const loaded_table& loaded, const std::string& origin) {
    std::string text = "<code_set_name> " + charset_word(loaded.name) +
                       "\n<comment_char> %\n<escape_char> /\n% " + one_line(origin) +
                       "\n<mb_cur_min> 1\n<mb_cur_max> 1\n\nCHARMAP\n";
    for (const std::size_t i : byte_order(loaded.table)) {
        std::string symbol = "<U" + hex_digits(code_at(loaded.table, i), 4) + '>';
        std::string bytes = "/x" + hex_digits(loaded.table.records[i][0], 2);
        symbol.resize(std::max<std::size_t>(symbol.size() + 1, 12), ' ');
        bytes.resize(std::max<std::size_t>(bytes.size() + 1, 13), ' ');
        const std::string entry_name = clean_name_at(loaded, i);
        std::string line = symbol + bytes + entry_name;
        while (line.ends_with(' ')) {
            line.pop_back();
        }
        text += line + '\n';
    }
    return text + "END CHARMAP\n";
}

} // namespace

std::optional<export_format> export_format_named(std::string_view word) {
    if (word == "ucm") {
        return export_format::ucm;
    }
    if (word == "unicode") {
        return export_format::unicode;
    }
    if (word == "charmap") {
        return export_format::charmap;
    }
    if (word == "dsc") {
        return export_format::dsc;
    }
    return std::nullopt;
}

std::string export_text(const loaded_table& loaded, export_format format,
                        const std::string& origin) {
    switch (format) {
    case export_format::ucm:
        return ucm_text(loaded, origin);
    case export_format::unicode:
        return unicode_text(loaded, origin);
    case export_format::charmap:
        return charmap_text(loaded, origin);
    case export_format::dsc:
        break;
    }
    return dump_text(loaded, true);
}
