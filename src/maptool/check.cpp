// maptool check FILE...: every problem of each DSC file, in one run.
#include "engine/dsc_check.h"
#include "engine/files.h"
#include "maptool/options.h"
#include "maptool/verbs.h"

namespace {

struct check_options {
    std::vector<std::string> files;
    diagnostic_options diagnostics;
};

exit_status run_check(const check_options& options) {
    report_renderer out(options.diagnostics, stdout, true);
    diagnostics report(policy_of(options.diagnostics), out.get());
    for (const std::string& path : options.files) {
        const std::string name = display_name(path);
        const result<input_file> file = open_input(path);
        if (!file) {
            report.count_file();
            report_failure(report, name, file.error());
            continue;
        }
        check_dsc(file->get(), name, report);
    }
    report.finish();
    return report.status();
}

} // namespace

void add_check(command_line& line) {
    auto options = std::make_shared<check_options>();
    verb_line verb =
        line.verb("check", "Report every problem of DSC files, as mapmaker would read them");
    verb.words("FILE DSC", options->files, "DSC files; - reads standard input");
    add_diagnostic_options(verb, options->diagnostics);
    verb.run([options] { return run_check(*options); });
}
