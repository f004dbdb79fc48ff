// maptool dump SOURCE [-o DSC]: a table as the DSC file that gives it back; a map file
// byte for byte, any other source entry for entry.
#include "engine/dump.h"
#include "engine/files.h"
#include "engine/table_source.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"

namespace {

struct dump_options {
    std::string source;
    std::string output;
    bool no_names = false;
    std::string color = "auto";
};

exit_status run_dump(const dump_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    const std::string name = display_name(options.source);
    if (refuse_own_file(report, options.source, options.output, "the DSC file")) {
        return exit_status::trouble;
    }
    const result<loaded_table> loaded = load_table(options.source, report);
    if (!loaded) {
        report_failure(report, name, loaded.error());
        return exit_status::trouble;
    }
    const std::string dsc = dump_text(*loaded, !options.no_names);
    return write_table_output(report, options.output, dsc, loaded->table.count, "the DSC file")
               ? exit_status::success
               : exit_status::trouble;
}

} // namespace

void add_dump(command_line& line) {
    auto options = std::make_shared<dump_options>();
    verb_line verb = line.verb(
        "dump", "Print a table as a DSC file; a map file converts back to the very same bytes");
    verb.word("SOURCE TABLE", options->source,
              "The table: a map file, or any other table source; - reads standard input", true);
    verb.option("-o,--output FILE", options->output,
                "Write the DSC file here instead of to standard output");
    verb.flag("--no-names", options->no_names, "Leave out the character names");
    add_color_option(verb, options->color);
    verb.run([options] { return run_dump(*options); });
}
