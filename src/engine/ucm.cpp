#include "engine/ucm.h"

#include "engine/dsc_text.h"

#include <algorithm>
#include <array>
#include <utility>

bool is_ucm_keyword(std::string_view word) {
    return word == "<uconv_class>" || word == "<subchar>" || word == "<subchar1>" ||
           word == "<char_name_mask>" || word.starts_with("<icu:");
}

std::string ucm_unquoted(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string ucm_one_way(char precision) {
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

std::string ucm_text(std::string_view name, const std::vector<written_entry>& entries,
                     const std::string& origin) {
    std::string text = "# " + one_line(origin) + "\n" + "<code_set_name>               \"" +
                       charset_word(name) + "\"\n" +
                       "<mb_cur_max>                  1\n"
                       "<mb_cur_min>                  1\n"
                       "<uconv_class>                 \"SBCS\"\n"
                       "<subchar>                     \\x1A\n"
                       "\nCHARMAP\n";
    // The precision of each entry is decided with the table's own first, so that an added
    // ASCII byte never takes a character from the byte the table gives it.
    std::vector<const written_entry*> decided;
    for (const bool ascii : {false, true}) {
        for (const written_entry& entry : entries) {
            if (entry.ascii == ascii) {
                decided.push_back(&entry);
            }
        }
    }
    std::array<bool, 256> byte_given{};
    std::vector<bool> code_given(0x10000);
    std::vector<std::pair<const written_entry*, std::string>> lines;
    for (const written_entry* entry : decided) {
        const std::uint8_t byte = entry->byte;
        const std::uint16_t code = entry->code;
        const char* precision = !byte_given[byte] && !code_given[code] ? "|0"
                                : !code_given[code]                    ? "|1"
                                : !byte_given[byte]                    ? "|3"
                                                                       : nullptr;
        const std::string mapping = "<U" + hex_digits(code, 4) + "> \\x" + hex_digits(byte, 2);
        if (precision == nullptr) {
            lines.emplace_back(entry, "# " + mapping + " again: both ways given already\n");
            continue;
        }
        byte_given[byte] = true;
        code_given[code] = true;
        lines.emplace_back(entry, mapping + ' ' + precision + '\n');
    }
    // Back in the order of the entries, which is byte order.
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& line : lines) {
        text += line.second;
    }
    return text + "END CHARMAP\n";
}
