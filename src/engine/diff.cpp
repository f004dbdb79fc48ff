#include "engine/diff.h"

#include "engine/dsc_text.h"
#include "unicode/names.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

// The codes a byte maps to: each once, in the order of their first entry. A byte usually
// has one; a repeated entry adds nothing, a conflicting one adds a code.
using byte_codes = std::array<std::vector<std::uint16_t>, 256>;

byte_codes codes_by_byte(const code_table& table) {
    byte_codes codes;
    for (std::size_t i = 0; i < table.count; ++i) {
        std::vector<std::uint16_t>& list = codes[table.records[i][0]];
        const std::uint16_t code = code_of(table.records[i]);
        if (std::find(list.begin(), list.end(), code) == list.end()) {
            list.push_back(code);
        }
    }
    return codes;
}

// The lines of one side's entries for a byte whose codes the other side lacks.
void put_missing(std::string& text, char sign, std::uint8_t byte,
                 const std::vector<std::uint16_t>& codes, const std::vector<std::uint16_t>& other) {
    for (const std::uint16_t code : codes) {
        if (std::find(other.begin(), other.end(), code) == other.end()) {
            text += sign + dsc_entry(byte, code, char_name(code));
        }
    }
}

// Why two tables that map every byte alike still give different map files.
std::string layout_note(const code_table& a, const code_table& b) {
    std::vector<map_record> sorted_a(a.records.begin(), a.records.begin() + a.count);
    std::vector<map_record> sorted_b(b.records.begin(), b.records.begin() + b.count);
    std::sort(sorted_a.begin(), sorted_a.end());
    std::sort(sorted_b.begin(), sorted_b.end());
    if (sorted_a == sorted_b) {
        return "\\ Every byte maps the same, but the entries are in another order\n";
    }
    return "\\ Every byte maps the same, but entries are repeated differently (" +
           std::to_string(a.count) + " entries against " + std::to_string(b.count) + ")\n";
}

} // namespace

bool same_map(const code_table& a, const code_table& b) {
    return a.count == b.count &&
           std::equal(a.records.begin(), a.records.begin() + a.count, b.records.begin());
}

std::string diff_lines(const code_table& a, const code_table& b) {
    const byte_codes codes_a = codes_by_byte(a);
    const byte_codes codes_b = codes_by_byte(b);
    std::string text;
    for (std::size_t byte = 0; byte < codes_a.size(); ++byte) {
        const auto source = static_cast<std::uint8_t>(byte);
        put_missing(text, '-', source, codes_a[byte], codes_b[byte]);
        put_missing(text, '+', source, codes_b[byte], codes_a[byte]);
    }
    return text.empty() ? layout_note(a, b) : text;
}
