// maptool import SOURCE | --iconv NAME [-o DSC]: a DSC file in the format of the bundled
// tables, from any table source: a Unicode mapping table, a POSIX charmap or ICU .ucm file
// (gzip-compressed or not), the system's iconv, or a map or DSC file.
#include "engine/import.h"
#include "engine/files.h"
#include "engine/table_source.h"
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

// The bytes from `first` on: a map or DSC file may list the low half too.
void keep_from(loaded_table& loaded, std::uint8_t first) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < loaded.table.count; ++i) {
        if (loaded.table.records[i][0] >= first) {
            loaded.table.records[kept] = loaded.table.records[i];
            if (kept != i) {
                loaded.names[kept] = std::move(loaded.names[i]);
            }
            ++kept;
        }
    }
    loaded.table.count = kept;
    loaded.names.resize(kept);
}

exit_status run_import(const import_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    const std::uint8_t first = options.all ? 0x00 : 0x80;
    const bool from_iconv = !options.iconv_name.empty();
    const std::string source = from_iconv ? "iconv:" + options.iconv_name : options.source;
    const std::string shown = display_name(source);
    if (refuse_own_file(report, source, options.output, "the DSC file")) {
        return exit_status::trouble;
    }
    result<loaded_table> table = load_source(source, first, report);
    if (!table) {
        report_failure(report, shown, table.error());
        return exit_status::trouble;
    }
    keep_from(*table, first);
    if (table->table.count == 0) {
        report.report(file_error(shown, options.all ? "no byte is defined"
                                                    : "no byte from 80 to FF is defined"));
        return exit_status::trouble;
    }
    if (!options.name.empty()) {
        table->name = options.name;
    }
    return write_table_output(report, options.output,
                              imported_dsc_text(*table, source, !options.no_names),
                              table->table.count, "the DSC file")
               ? exit_status::success
               : exit_status::trouble;
}

} // namespace

void add_import(command_line& line) {
    auto options = std::make_shared<import_options>();
    verb_line verb = line.verb(
        "import",
        "Write a DSC file from any table: a Unicode mapping table, a charmap, a .ucm file, iconv");
    verb.word("SOURCE TABLE", options->source,
              "Any table: a Unicode mapping table, a POSIX charmap or ICU .ucm file (gzip-"
              "compressed or not), a map or DSC file, or iconv:NAME; - reads standard input",
              false);
    verb.option("--iconv CHARSET", options->iconv_name,
                "Ask the system's iconv for each byte of this code page");
    verb.option("-o,--output FILE", options->output,
                "Write the DSC file here instead of to standard output");
    verb.option("--name NAME", options->name,
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
