// maptool dump MAP [-o DSC]: a map file as the DSC file that gives it back, byte for byte.
#include "engine/dump.h"
#include "engine/dsc_text.h"
#include "engine/files.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"

namespace {

struct dump_options {
    std::string map;
    std::string output;
    bool no_names = false;
    std::string color = "auto";
};

exit_status run_dump(const dump_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    const std::string name = display_name(options.map);
    const result<input_file> file = open_input(options.map);
    if (!file) {
        report_failure(report, name, file.error());
        return exit_status::trouble;
    }
    const map_reading reading = read_map(file->get());
    if (reading.fault != map_fault::none) {
        report.report(file_error(name, map_fault_text(reading)));
        return exit_status::trouble;
    }
    const bool to_file = !options.output.empty() && options.output != "-";
    if (to_file && is_the_file(file->get(), options.output)) {
        report.report(
            file_error(name, "the DSC file " + options.output + " is this map file itself"));
        return exit_status::trouble;
    }
    const std::string dsc = dump_text(reading.table, table_name_of(options.map), !options.no_names);
    const result<written_file> written = write_output(options.output, dsc);
    if (!written) {
        report.report(file_error(to_file ? options.output : "<stdout>",
                                 "cannot write the DSC file: " + written.error().message));
        return exit_status::trouble;
    }
    report_in_place(report, options.output, *written);
    if (to_file) {
        say_entries(stdout, options.output, reading.table.count);
    }
    return exit_status::success;
}

} // namespace

void add_dump(command_line& line) {
    auto options = std::make_shared<dump_options>();
    verb_line verb = line.verb(
        "dump", "Print a map file as a DSC file that converts back to the very same bytes");
    verb.word("MAP", options->map, "The map file; - reads standard input", true);
    verb.option("-o,--output", options->output,
                "Write the DSC file here instead of to standard output");
    verb.flag("--no-names", options->no_names, "Leave out the character names");
    add_color_option(verb, options->color);
    verb.run([options] { return run_dump(*options); });
}
