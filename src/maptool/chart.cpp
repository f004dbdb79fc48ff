// maptool chart SOURCE... [-o FILE]: tables drawn as code charts, a 16 x 16 grid each, as
// one HTML page or as text for the terminal; two tables, or --against, as one grid with
// the bytes they map differently marked.
#include "engine/chart.h"
#include "engine/files.h"
#include "engine/table_source.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <filesystem>

namespace {

struct chart_options {
    std::vector<std::string> sources;
    std::string against;
    std::string output;
    std::string format = "auto";
    bool all = false;
    bool no_names = false;
    std::string color = "auto";
};

// Errors go on to standard error as every verb reports them; the warnings of check that
// belong to an entry are kept for the chart, which marks them on their cells.
class chart_findings : public renderer {
  public:
    explicit chart_findings(text_renderer& errors) : errors_(errors) {}

    void render(const finding& found) override {
        if (found.level == severity::error) {
            errors_.render(found);
        } else if (const std::optional<std::uint8_t> byte = finding_byte(found)) {
            warnings[*byte].push_back(found.message);
        }
    }
    void finish(const report_counts&) override {}

    std::array<std::vector<std::string>, 256> warnings;

  private:
    text_renderer& errors_;
};

// A table source read into a chart; the failure is reported.
std::optional<chart_table> read_chart(const std::string& path, const chart_options& options,
                                      text_renderer& errors) {
    chart_findings found(errors);
    warning_policy policy;
    if (options.no_names) {
        // As a build without names: no comment is checked against them.
        policy.enabled.reset(static_cast<std::size_t>(warning_class::name_mismatch));
    }
    diagnostics report(policy, found);
    const result<loaded_table> table = load_table(path, report);
    if (!table) {
        report_failure(report, display_name(path), table.error());
        return std::nullopt;
    }
    chart_data data;
    data.unicode = !options.no_names;
    data.names = table->names;
    // A DSC file's comments are no names to the other verbs (a comment may be any note),
    // but a chart shows them where Unicode has no name. Only a regular file can be read a
    // second time for them: standard input and pipes are gone, and opening a FIFO again
    // would wait for another writer.
    std::error_code ignored;
    if (table->form == table_form::dsc && path != "-" &&
        std::filesystem::is_regular_file(path_from_utf8(path), ignored)) {
        if (result<input_file> file = open_input(path)) {
            data.names = dsc_comment_names(file->get());
        }
    }
    chart_table chart;
    chart.title = display_name(path);
    chart.entries = table->table.count;
    chart.cells = chart_cells(table->table, data);
    chart.warnings = std::move(found.warnings);
    return chart;
}

exit_status run_chart(const chart_options& options) {
    text_renderer errors(stderr, use_color(options.color, stderr), false);
    const bool to_file = !options.output.empty() && options.output != "-";
    const bool html =
        options.format == "html" || (options.format == "auto" && (to_file || !is_terminal(stdout)));
    std::vector<std::string> read = options.sources;
    if (!options.against.empty()) {
        read.push_back(options.against);
    }
    diagnostics report(warning_policy{}, errors);
    for (const std::string& path : read) {
        if (refuse_own_file(report, path, options.output, "the chart")) {
            return exit_status::trouble;
        }
    }
    std::vector<chart_table> tables;
    bool failed = false;
    for (const std::string& path : options.sources) {
        std::optional<chart_table> chart = read_chart(path, options, errors);
        failed = failed || !chart;
        if (chart) {
            tables.push_back(std::move(*chart));
        }
    }
    std::optional<chart_table> against;
    if (!options.against.empty()) {
        against = read_chart(options.against, options, errors);
        failed = failed || !against;
    } else if (tables.size() == 2) {
        against = std::move(tables[1]);
        tables.pop_back();
    }
    if (failed) {
        return exit_status::trouble;
    }
    for (chart_table& table : tables) {
        if (against) {
            table.against_title = against->title;
            table.against = against->cells;
        }
    }
    const chart_layout layout{options.all};
    std::string shown;
    if (html) {
        shown = chart_html(tables, layout);
    } else {
        const bool color = to_file ? options.color == "always" : use_color(options.color, stdout);
        for (const chart_table& table : tables) {
            shown += shown.empty() ? "" : "\n";
            shown += chart_text(table, layout, color);
        }
    }
    const result<written_file> written = write_output(options.output, shown);
    if (!written) {
        errors.render(file_error(to_file ? options.output : "<stdout>",
                                 "cannot write the chart: " + written.error().message));
        return exit_status::trouble;
    }
    report_in_place(report, options.output, *written);
    return exit_status::success;
}

} // namespace

void add_chart(command_line& line) {
    auto options = std::make_shared<chart_options>();
    verb_line verb =
        line.verb("chart", "Draw tables as code charts: an HTML page, or text for the terminal");
    verb.words("SOURCE TABLE", options->sources,
               "Tables: any table source, such as a DSC, map or charmap file or "
               "iconv:NAME; - reads standard input");
    verb.option("-o,--output FILE", options->output,
                "Write the chart here instead of to standard output");
    verb.choice("--format FORMAT", options->format,
                "html, or text; auto: text for a terminal, else HTML", {"auto", "html", "text"});
    verb.option("--against TABLE", options->against,
                "Compare each table with this one: the bytes they map differently are marked");
    verb.flag("--all", options->all, "Draw all 16 rows, also those the tables leave empty");
    verb.flag("--no-names", options->no_names,
              "Take no names or classes from Unicode data: only a DSC file's comments name "
              "the characters");
    add_color_option(verb, options->color);
    verb.run([options] {
        if (options->sources.empty()) {
            throw usage_error{"SOURCE: at least one table is needed"};
        }
        return run_chart(*options);
    });
}
