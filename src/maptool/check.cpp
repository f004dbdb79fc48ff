// maptool check FILE...: every problem of each DSC file, in one run; with --fix, the
// certain repairs made first, and what is left reported.
#include "engine/dsc_check.h"
#include "engine/files.h"
#include "engine/fixes.h"
#include "engine/unified_diff.h"
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

// The fixed text of the file read again from its start: for a diff, both texts whole.
bool show_fixes(std::FILE* file, const std::string& name, fix_choice choice) {
    std::string before;
    std::string after;
    char block[65536];
    std::rewind(file);
    for (std::size_t got = 0; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        before.append(block, got);
    }
    std::rewind(file);
    if (std::ferror(file) != 0 || !copy_fixed(file, choice, [&](std::string_view bytes) {
            after += bytes;
            return true;
        })) {
        return false;
    }
    const std::string label = visible(name);
    unified_diff(label, before, label, after,
                 [](std::string_view text) { write_text(stdout, text); });
    return true;
}

// The file replaced by its fixed text, read again from its start, a line at a time.
void write_fixes(std::FILE* file, const std::string& path, const std::string& name,
                 fix_choice choice, diagnostics& report) {
    std::rewind(file);
    const result<written_file> written = replace_file_with(path, [&](std::FILE* out) {
        return copy_fixed(file, choice, [out](std::string_view bytes) {
            return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        });
    });
    if (!written) {
        report.report(file_error(name, "cannot write the fixed file: " + written.error().message));
        return;
    }
    report_in_place(report, path, *written);
}

// Whether the file is one of those before it, by any name or link: it is fixed once.
bool given_before(const std::vector<std::string>& files, std::size_t index) {
    for (std::size_t i = 0; i < index; ++i) {
        if (files[i] == files[index] || is_same_file(files[i], files[index])) {
            return true;
        }
    }
    return false;
}

std::uint64_t error_limit(const std::string& value) {
    std::uint64_t limit = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), limit);
    if (error != std::errc() || end != value.data() + value.size()) {
        throw usage_error{"--max-errors: '" + visible(value) + "' is not a number"};
    }
    return limit;
}

exit_status run_check(const check_options& options) {
    const bool fixing = options.fix || options.unsafe_fixes || options.diff;
    const fix_choice choice = options.unsafe_fixes ? fix_choice::unsafe : fix_choice::safe;
    const std::uint64_t limit = error_limit(options.max_errors);
    // With --diff the diff goes to standard output and what is left to standard error.
    report_renderer out(options.diagnostics, options.diff ? stderr : stdout, true);
    diagnostics report(policy_of(options.diagnostics), out.get());
    report.limit_errors(limit);
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        const std::string name = display_name(path);
        if (fixing && given_before(options.files, i)) {
            continue;
        }
        if (fixing && path == "-") {
            report.count_file();
            report.report(file_error(name, "standard input cannot be fixed: name a file"));
            continue;
        }
        const result<input_file> file = open_input(path);
        if (!file) {
            report.count_file();
            report_failure(report, name, file.error());
            continue;
        }
        if (!fixing) {
            check_dsc(file->get(), name, report);
            continue;
        }
        const dsc_check checked = check_dsc(file->get(), name, report, choice);
        if (!checked.changed) {
            continue;
        }
        if (options.diff) {
            if (!show_fixes(file->get(), name, choice)) {
                report.report(file_error(name, "cannot read the file again"));
            }
        } else {
            write_fixes(file->get(), path, name, choice, report);
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
    verb.words("FILE", options->files, "DSC files; - reads standard input");
    add_diagnostic_options(verb, options->diagnostics);
    verb.flag("--fix", options->fix, "Make the certain repairs in each file, then report the rest");
    verb.flag("--unsafe-fixes", options->unsafe_fixes,
              "With --fix, also the first of the likely repairs");
    verb.flag("--diff", options->diff, "Show the repairs of --fix as a diff; change no file");
    verb.option("--max-errors", options->max_errors,
                "Show at most N errors of a file, then how many more (0: all)");
    verb.run([options] { return run_check(*options); });
}
