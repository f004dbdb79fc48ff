// maptool fmt [--check] [--diff] [--names] FILE... | -: DSC files in one layout, rewritten
// in place; a file mapmaker would refuse is left alone, with check's errors.
#include "engine/dsc_format.h"
#include "engine/files.h"
#include "engine/rewrite.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/verbs.h"
#include "platform/files.h"

namespace {

struct fmt_options {
    std::vector<std::string> files;
    bool check = false;
    bool diff = false;
    bool names = false;
    std::string color = "auto";
};

exit_status run_fmt(const fmt_options& options) {
    // Errors only: a warning does not keep a file from being formatted, and check says it.
    warning_policy errors_only;
    errors_only.enabled.reset();
    text_renderer out(stderr, use_color(options.color, stderr), false);
    diagnostics report(errors_only, out);
    const rewrite_mode mode = options.diff    ? rewrite_mode::diff
                              : options.check ? rewrite_mode::check
                                              : rewrite_mode::write;
    if (mode != rewrite_mode::check) {
        set_binary(stdout); // a file's bytes, or a diff of them, as they are
    }
    const format_options format{options.names};
    const transformation transform = [&](std::FILE* in, std::string_view name,
                                         const text_sink& to) {
        return format_dsc(in, name, format, report, to);
    };
    const text_sink to_stdout = [](std::string_view text) { write_text(stdout, text); };
    exit_status status = exit_status::success;
    for (const std::string& path : distinct_files(options.files)) {
        switch (rewrite_file(path, mode, transform, report, to_stdout)) {
        case rewrite_outcome::unchanged:
            break;
        case rewrite_outcome::changed:
            if (mode == rewrite_mode::check) {
                write_text(stdout, visible(display_name(path)) + ": would be reformatted\n");
            }
            if (mode != rewrite_mode::write) {
                status = worse(status, exit_status::findings);
            }
            break;
        case rewrite_outcome::refused:
        case rewrite_outcome::failed:
            status = exit_status::trouble;
            break;
        }
        std::fflush(stdout);
    }
    // No summary and no limit of errors: nothing to finish. What standard output could not
    // take, main reports for every verb.
    return status;
}

} // namespace

void add_fmt(command_line& line) {
    auto options = std::make_shared<fmt_options>();
    verb_line verb = line.verb(
        "fmt", "Rewrite DSC files in one layout, with the same map; - formats standard input");
    verb.words("FILE DSC", options->files,
               "DSC files, rewritten in place; - writes to standard output");
    verb.flag("--check", options->check,
              "Change nothing; name each file that would change and exit 1 if any would");
    verb.flag("--diff", options->diff, "Change nothing; print the changes as a unified diff");
    verb.flag("--names", options->names,
              "Give an entry without a comment its character's name as one");
    add_color_option(verb, options->color);
    verb.run([options] { return run_fmt(*options); });
}
