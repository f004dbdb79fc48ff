// maptool check FILE...: every problem of each DSC file, in one run.
#include "maptool/common.h"
#include "maptool/dsc_check.h"
#include "maptool/verbs.h"

namespace {

struct check_options {
    std::vector<std::string> files;
    diagnostic_options diagnostics;
    std::string format = "text";
};

int run_check(const check_options& options) {
    diagnostic_printer printer = make_printer(options.diagnostics, stdout);
    printer.format = options.format == "json" ? output_format::json : output_format::text;
    if (printer.format == output_format::json) {
        printer.color = false;
    }
    for (const std::string& path : options.files) {
        std::string error;
        const input_file file = open_input(path, error);
        if (!file) {
            ++printer.files;
            finding found;
            found.message = "cannot open the file: " + error;
            report(printer, display_name(path), found);
            continue;
        }
        check_dsc(file.get(), display_name(path), printer);
    }
    finish_report(printer, true);
    return printer.errors != 0 ? 2 : printer.warnings != 0 ? 1 : 0;
}

} // namespace

void add_check(CLI::App& app, int& status) {
    auto options = std::make_shared<check_options>();
    CLI::App* verb = app.add_subcommand(
        "check", "Report every problem of DSC files, as mapmaker would read them");
    verb->add_option("FILE", options->files, "DSC files; - reads standard input")->required();
    add_diagnostic_options(*verb, options->diagnostics);
    verb->add_option("--format", options->format, "Output: text or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    verb->callback([options, &status] { status = run_check(*options); });
}
