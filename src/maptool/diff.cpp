// maptool diff A B: how two tables, each any table source, differ, as a unified diff of
// their DSC text that patch applies to A. By default the tables are equal when they map
// every byte the same; with --exact, when they give byte-identical map files. The exit
// status is diff's and cmp's.
#include "engine/diff.h"
#include "engine/files.h"
#include "engine/table_names.h"
#include "engine/table_source.h"
#include "engine/unified_diff.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <cctype>

namespace {

struct diff_options {
    std::string a;
    std::string b;
    bool quiet = false;
    bool exact = false;
    std::string color = "auto";
};

result<loaded_table> load(const std::string& path, diagnostics& report) {
    result<loaded_table> table = load_table(path, report);
    if (!table) {
        report_failure(report, display_name(path), table.error());
    }
    return table;
}

// The text of each side, or trouble already reported. A table given by name is read again
// from the file the name stands for, not from a file of that name here.
result<std::string> text_of(const std::string& path, const loaded_table& table,
                            diagnostics& report) {
    const result<std::string> file = is_table_path(path) ? path : table_by_name(path);
    result<std::string> text = file ? diff_text(*file, table) : file;
    if (!text) {
        report_failure(report, display_name(path), text.error());
    }
    return text;
}

// A line of its own after a diff's hunks, as diff writes "\ No newline at end of file".
std::string note(std::string text) {
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return "\\ " + text + "\n";
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
    const std::string name_a = visible(display_name(options.a));
    const std::string name_b = visible(display_name(options.b));
    std::string shown;
    exit_status status = exit_status::findings;
    if (same_map(a->table, b->table)) {
        return exit_status::success;
    }
    if (!options.exact && same_bytes(a->table, b->table)) {
        // Not a difference a conversion would see, but one a map file keeps: said, not
        // counted.
        status = exit_status::success;
        shown = options.quiet ? "" : note(difference_text(a->table, b->table));
    } else if (options.quiet) {
        shown = "Tables " + name_a + " and " + name_b +
                " differ: " + difference_text(a->table, b->table) + "\n";
    } else {
        const result<std::string> text_a = text_of(options.a, *a, report);
        const result<std::string> text_b = text_of(options.b, *b, report);
        if (!text_a || !text_b) {
            return exit_status::trouble;
        }
        const bool written =
            unified_diff(name_a, *text_a, name_b, *text_b,
                         [](std::string_view piece) { write_text(stdout, piece); });
        // Tables that differ never have the same text; if they did, still say how.
        if (!written) {
            shown = note(difference_text(a->table, b->table));
        }
    }
    write_text(stdout, shown);
    return std::fflush(stdout) == 0 ? status : exit_status::trouble;
}

} // namespace

void add_diff(command_line& line) {
    auto options = std::make_shared<diff_options>();
    verb_line verb = line.verb("diff", "Compare two tables of any form as a unified diff that "
                                       "patch applies: exit 0 when they map every byte the same");
    verb.word("A TABLE", options->a, "The first table: any table source; - reads standard input",
              true);
    verb.word("B TABLE", options->b, "The second table: any table source; - reads standard input",
              true);
    verb.flag("-q,--quiet", options->quiet, "Print only why the tables differ, in one line");
    verb.flag("--exact", options->exact,
              "Equal only when they give the same map file: the order of the entries and "
              "repeated entries count");
    add_color_option(verb, options->color);
    verb.run([options] {
        if (options->a == "-" && options->b == "-") {
            throw usage_error{"A and B: only one of them can be standard input"};
        }
        return run_diff(*options);
    });
}
