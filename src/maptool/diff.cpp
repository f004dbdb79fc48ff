// maptool diff A B: how two tables, each a DSC file or a map file, map the bytes
// differently, shown as a unified diff in DSC syntax. The exit status says whether the two
// would give byte-identical map files, as diff and cmp say it for files.
#include "maptool/common.h"
#include "maptool/table_io.h"
#include "maptool/verbs.h"
#include "unicode/names.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

struct diff_options {
    std::string a;
    std::string b;
    bool quiet = false;
    std::string color = "auto";
};

// The codes a byte maps to: each once, in the order of their first entry. A byte usually
// has one; a repeated entry adds nothing, a conflicting one adds a code.
using byte_codes = std::array<std::vector<std::uint16_t>, 256>;

std::uint16_t code_of(const map_record& record) {
    return static_cast<std::uint16_t>(record[1] << 8 | record[2]);
}

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

bool same_bytes(const code_table& a, const code_table& b) {
    return a.count == b.count &&
           std::equal(a.records.begin(), a.records.begin() + a.count, b.records.begin());
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

std::string diff_text(const code_table& a, const code_table& b) {
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

int run_diff(const diff_options& options) {
    diagnostic_printer printer = error_printer(options.color);
    // Only what keeps a DSC file from being read belongs here; its warnings are for check.
    printer.policy.enabled.reset();
    const std::optional<loaded_table> a = load_table(options.a, printer);
    const std::optional<loaded_table> b = load_table(options.b, printer);
    if (!a || !b) {
        return 2;
    }
    if (same_bytes(a->table, b->table)) {
        return 0;
    }
    const std::string name_a = display_name(options.a);
    const std::string name_b = display_name(options.b);
    const std::string text =
        options.quiet ? "Tables " + name_a + " and " + name_b + " differ\n"
                      : "--- " + name_a + "\n+++ " + name_b + "\n" + diff_text(a->table, b->table);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 1 : 2;
}

} // namespace

void add_diff(CLI::App& app, int& status) {
    auto options = std::make_shared<diff_options>();
    CLI::App* verb = app.add_subcommand(
        "diff", "Compare two tables, DSC or map files: exit 0 when they give the same map file");
    verb->add_option("A", options->a, "The first table; - reads standard input")->required();
    verb->add_option("B", options->b, "The second table; - reads standard input")->required();
    verb->add_flag("-q,--quiet", options->quiet, "Print only whether the tables differ");
    add_color_option(*verb, options->color);
    verb->callback([options, &status] {
        if (options->a == "-" && options->b == "-") {
            throw CLI::ValidationError("A and B", "only one of them can be standard input");
        }
        status = run_diff(*options);
    });
}
