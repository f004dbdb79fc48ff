#include "maptool/options.h"

#include "platform/files.h"

#include <cstdlib>

void add_diagnostic_options(verb_line& verb, diagnostic_options& options) {
    verb.warnings(options.warnings);
    add_color_option(verb, options.color);
}

void add_color_option(verb_line& verb, std::string& color) {
    verb.choice("--color", color, "Colour the diagnostics: auto, always or never",
                {"auto", "always", "never"});
}

warning_policy policy_of(const diagnostic_options& options) {
    warning_policy policy;
    for (const std::string& value : options.warnings) {
        // Each value was checked while the command line was read.
        (void)apply_warning_option(policy, value);
    }
    return policy;
}

bool use_color(std::string_view when, std::FILE* stream) {
    if (when != "auto") {
        return when == "always";
    }
    const char* no_color = std::getenv("NO_COLOR");
    return (no_color == nullptr || *no_color == '\0') && is_terminal(stream);
}

void report_failure(diagnostics& report, std::string_view file, const failure& why) {
    if (!why.already_reported()) {
        report.report(file_error(file, why.message));
    }
}
