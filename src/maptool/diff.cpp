// maptool diff A B: how two tables, each any table source, map the bytes differently,
// shown as a unified diff in DSC syntax. The exit status says whether the two would give
// byte-identical map files, as diff and cmp say it for files.
#include "engine/diff.h"
#include "engine/files.h"
#include "engine/table_source.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"

namespace {

struct diff_options {
    std::string a;
    std::string b;
    bool quiet = false;
    std::string color = "auto";
};

result<loaded_table> load(const std::string& path, diagnostics& report) {
    result<loaded_table> table = load_table(path, report);
    if (!table) {
        report_failure(report, display_name(path), table.error());
    }
    return table;
}

exit_status run_diff(const diff_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    // Only what keeps a DSC file from being read belongs here; its warnings are for check.
    warning_policy errors_only;
    errors_only.enabled.reset();
    diagnostics report(errors_only, text);
    const result<loaded_table> a = load(options.a, report);
    const result<loaded_table> b = load(options.b, report);
    if (!a || !b) {
        return exit_status::trouble;
    }
    if (same_map(a->table, b->table)) {
        return exit_status::success;
    }
    const std::string name_a = visible(display_name(options.a));
    const std::string name_b = visible(display_name(options.b));
    const std::string shown =
        options.quiet ? "Tables " + name_a + " and " + name_b + " differ\n"
                      : "--- " + name_a + "\n+++ " + name_b + "\n" + diff_lines(a->table, b->table);
    write_text(stdout, shown);
    return std::fflush(stdout) == 0 ? exit_status::findings : exit_status::trouble;
}

} // namespace

void add_diff(command_line& line) {
    auto options = std::make_shared<diff_options>();
    verb_line verb = line.verb(
        "diff", "Compare two tables of any form: exit 0 when they give the same map file");
    verb.word("A TABLE", options->a, "The first table: any table source; - reads standard input",
              true);
    verb.word("B TABLE", options->b, "The second table: any table source; - reads standard input",
              true);
    verb.flag("-q,--quiet", options->quiet, "Print only whether the tables differ");
    add_color_option(verb, options->color);
    verb.run([options] {
        if (options->a == "-" && options->b == "-") {
            throw usage_error{"A and B: only one of them can be standard input"};
        }
        return run_diff(*options);
    });
}
