#include "engine/diff.h"

#include "engine/dsc_text.h"
#include "engine/dump.h"
#include "engine/files.h"
#include "platform/files.h"

#include <algorithm>
#include <array>
#include <cerrno>
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

// At most this many bytes are named in one line; the count says the rest.
constexpr std::size_t bytes_named = 4;

} // namespace

bool same_map(const code_table& a, const code_table& b) {
    return a.count == b.count &&
           std::equal(a.records.begin(), a.records.begin() + a.count, b.records.begin());
}

bool same_bytes(const code_table& a, const code_table& b) {
    return codes_by_byte(a) == codes_by_byte(b);
}

std::string difference_text(const code_table& a, const code_table& b) {
    const byte_codes codes_a = codes_by_byte(a);
    const byte_codes codes_b = codes_by_byte(b);
    std::vector<std::size_t> differing;
    for (std::size_t byte = 0; byte < codes_a.size(); ++byte) {
        if (codes_a[byte] != codes_b[byte]) {
            differing.push_back(byte);
        }
    }
    if (!differing.empty()) {
        std::string text = std::to_string(differing.size()) +
                           (differing.size() == 1 ? " byte maps" : " bytes map") + " differently (";
        for (std::size_t i = 0; i < std::min(differing.size(), bytes_named); ++i) {
            text += (i == 0 ? "" : ", ") + hex_digits(static_cast<std::uint32_t>(differing[i]), 2);
        }
        return text + (differing.size() > bytes_named ? ", ...)" : ")");
    }
    std::vector<map_record> sorted_a(a.records.begin(), a.records.begin() + a.count);
    std::vector<map_record> sorted_b(b.records.begin(), b.records.begin() + b.count);
    std::sort(sorted_a.begin(), sorted_a.end());
    std::sort(sorted_b.begin(), sorted_b.end());
    if (sorted_a == sorted_b) {
        return "every byte maps the same, but the entries are in another order";
    }
    return "every byte maps the same, but entries are repeated differently (" +
           std::to_string(a.count) + " entries against " + std::to_string(b.count) + ")";
}

result<std::string> diff_text(const std::string& path, const loaded_table& loaded) {
    if (loaded.form != table_form::dsc || path == "-") {
        return dump_text(loaded, true);
    }
    result<input_file> file = open_input(path);
    if (!file) {
        return file.error();
    }
    // A pipe or a device such as /dev/stdin gave its text when the table was read; opened
    // again it gives other bytes or none, so the table is shown as dump writes it.
    if (!is_regular_file(descriptor_of(file->get()))) {
        return dump_text(loaded, true);
    }
    std::string text;
    std::array<char, 1 << 16> buffer;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file->get())) > 0;) {
        text.append(buffer.data(), got);
    }
    if (std::ferror(file->get()) != 0) {
        return failure{"cannot read: " + system_reason(errno)};
    }
    return text;
}
