// maptool check FILE...: every problem of each DSC file, in one run; with --fix, the
// certain repairs made first, and what is left reported.
#include "engine/dsc_check.h"
#include "engine/files.h"
#include "engine/fixes.h"
#include "engine/rewrite.h"
#include "engine/table_names.h"
#include "engine/table_source.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <charconv>

namespace {

struct check_options {
    std::vector<std::string> files;
    diagnostic_options diagnostics;
    std::string max_errors = "0";
    bool fix = false;
    bool unsafe_fixes = false;
    bool diff = false;
};

std::uint64_t error_limit(const std::string& value) {
    std::uint64_t limit = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), limit);
    if (error != std::errc() || end != value.data() + value.size()) {
        throw usage_error{"--max-errors: '" + visible(value) + "' is not a number"};
    }
    return limit;
}

// Checks one file, fixing its lines first when asked; whether a fix changed one.
bool check_one(const std::string& path, const std::string& name, diagnostics& report,
               std::optional<fix_choice> fixing) {
    const result<input_file> file = open_dsc_source(path, report);
    if (!file) {
        report.count_file();
        report_failure(report, name, file.error());
        return false;
    }
    return check_dsc(file->get(), name, report, fixing).changed;
}

exit_status run_check(const check_options& options) {
    const bool fixing = options.fix || options.unsafe_fixes || options.diff;
    const fix_choice choice = options.unsafe_fixes ? fix_choice::unsafe : fix_choice::safe;
    const std::uint64_t limit = error_limit(options.max_errors);
    // With --diff the diff goes to standard output and what is left to standard error.
    report_renderer out(options.diagnostics, options.diff ? stderr : stdout, true);
    diagnostics report(policy_of(options.diagnostics), out.get());
    report.limit_errors(limit);
    const transformation fix_file = [&](std::FILE* in, std::string_view name, const text_sink& to) {
        if (!copy_fixed(in, choice, to)) {
            report.report(file_error(name, "cannot read the file again"));
            return false;
        }
        return true;
    };
    const text_sink to_stdout = [](std::string_view text) { write_text(stdout, text); };
    if (options.diff) {
        set_binary(stdout); // the diff of the file's bytes as they are
    }
    // A file named twice, or by two links, is fixed and reported once.
    const std::vector<std::string> files = fixing ? distinct_files(options.files) : options.files;
    for (const std::string& path : files) {
        const std::string name = display_name(path);
        if (fixing && path == "-") {
            report.count_file();
            report.report(file_error(name, "standard input cannot be fixed: name a file"));
            continue;
        }
        // The check reads the fixed lines: its findings are what the fixes leave. Only a
        // file they change is read again and rewritten, once the check has closed it (a
        // file still open cannot be replaced on Windows).
        const bool changed =
            check_one(path, name, report, fixing ? std::optional(choice) : std::nullopt);
        if (changed && !is_table_path(path)) {
            // A name stands for a table in the tables' folder, which is read, not rewritten:
            // the name is no file to write.
            report.report(file_error(name, "a table given by name cannot be fixed: name its file"));
        } else if (changed) {
            rewrite_file(path, options.diff ? rewrite_mode::diff : rewrite_mode::write, fix_file,
                         report, to_stdout);
        }
        std::fflush(stdout);
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
    verb.flag("--fix", options->fix, "Make the certain repairs in each file, then report the rest");
    verb.flag("--unsafe-fixes", options->unsafe_fixes,
              "With --fix, also the first of the likely repairs");
    verb.flag("--diff", options->diff, "Show the repairs of --fix as a diff; change no file");
    verb.option("--max-errors N", options->max_errors,
                "Show at most N errors of a file, then how many more (0: all)");
    verb.run([options] { return run_check(*options); });
}
