// maptool import SOURCE | --iconv NAME [-o DSC]: a DSC file in the format of the bundled
// tables, from a Unicode mapping table, a POSIX charmap (gzip-compressed or not) or the
// system's iconv.
#include "engine/import.h"
#include "engine/files.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"

namespace {

struct import_options {
    std::string source;
    std::string iconv_name;
    std::string output;
    std::string name;
    bool all = false;
    bool no_names = false;
    std::string color = "auto";
};

exit_status run_import(const import_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    const std::uint8_t first = options.all ? 0x00 : 0x80;
    const bool from_iconv = !options.iconv_name.empty();
    const std::string shown =
        from_iconv ? "iconv " + options.iconv_name : display_name(options.source);
    if (!from_iconv && is_same_file(options.source, options.output)) {
        report.report(
            file_error(shown, "the DSC file " + options.output + " is this source file itself"));
        return exit_status::trouble;
    }
    result<imported> table = from_iconv ? import_iconv(options.iconv_name, first, report)
                                        : import_file(options.source, first, report);
    if (!table) {
        report_failure(report, shown, table.error());
        return exit_status::trouble;
    }
    std::erase_if(table->entries,
                  [first](const source_entry& entry) { return entry.byte < first; });
    if (table->entries.empty()) {
        report.report(file_error(shown, options.all ? "no byte is defined"
                                                    : "no byte from 80 to FF is defined"));
        return exit_status::trouble;
    }
    if (!options.name.empty()) {
        table->name = options.name;
    }
    const bool to_file = !options.output.empty() && options.output != "-";
    const result<written_file> written =
        write_output(options.output, imported_dsc_text(*table, !options.no_names));
    if (!written) {
        report.report(file_error(to_file ? options.output : "<stdout>",
                                 "cannot write the DSC file: " + written.error().message));
        return exit_status::trouble;
    }
    report_in_place(report, options.output, *written);
    if (to_file) {
        say_entries(stdout, options.output, table->entries.size());
    }
    return exit_status::success;
}

} // namespace

void add_import(command_line& line) {
    auto options = std::make_shared<import_options>();
    verb_line verb =
        line.verb("import", "Write a DSC file from a Unicode mapping table, a charmap or iconv");
    verb.word("SOURCE", options->source,
              "A Unicode mapping table or a POSIX charmap, gzip-compressed or not; - reads "
              "standard input",
              false);
    verb.option("--iconv", options->iconv_name,
                "Ask the system's iconv for each byte of this code page");
    verb.option("-o,--output", options->output,
                "Write the DSC file here instead of to standard output");
    verb.option("--name", options->name,
                "The table's name in the first line (default: the charmap's code set name, "
                "the file's name or the iconv name)");
    verb.exclusive("SOURCE", "--iconv");
    verb.flag("--all", options->all, "Take the bytes 00 to 7F too, not only 80 to FF");
    verb.flag("--no-names", options->no_names, "Leave out the character names");
    add_color_option(verb, options->color);
    verb.run([options] {
        if (options->source.empty() && options->iconv_name.empty()) {
            throw usage_error{"SOURCE or --iconv NAME is required"};
        }
        return run_import(*options);
    });
}
