#include "maptool/options.h"

#include "engine/files.h"
#include "engine/table_source.h"
#include "engine/visible.h"

#include "platform/files.h"

#include <cstdlib>

void add_diagnostic_options(verb_line& verb, diagnostic_options& options) {
    verb.warnings(options.warnings);
    add_color_option(verb, options.color);
    verb.choice("--format FORMAT", options.format, "Output: text, json or sarif",
                {"text", "json", "sarif"});
    verb.flag("-q,--quiet", options.quiet, "The findings only: no closing count, no map lines");
}

report_renderer::report_renderer(const diagnostic_options& options, std::FILE* out, bool summary)
    : format_(options.format),
      text_(out, format_ == "text" && use_color(options.color, out), summary && !options.quiet),
      as_json_(out), as_sarif_(out) {}

renderer& report_renderer::get() {
    if (format_ == "json") {
        return as_json_;
    }
    return format_ == "sarif" ? static_cast<renderer&>(as_sarif_) : text_;
}

void add_color_option(verb_line& verb, std::string& color) {
    verb.choice("--color WHEN", color, "Colour the diagnostics: auto, always or never",
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

std::string entries_line(std::string_view file, std::size_t count) {
    return visible(file) + ": " + std::to_string(count) + " entries\n";
}

void report_failure(diagnostics& report, std::string_view file, const failure& why) {
    if (!why.already_reported()) {
        report.report(file_error(file, why.message));
    }
}

bool refuse_own_file(diagnostics& report, const std::string& source, const std::string& output,
                     std::string_view what) {
    // Standard output and no output at all are no file: is_source_file says so.
    if (!is_source_file(source, output)) {
        return false;
    }
    report.report(file_error(display_name(source),
                             std::string(what) + " " + output + " is this table's own file"));
    return true;
}

bool write_table_output(diagnostics& report, const std::string& output, std::string_view text,
                        std::size_t entries, std::string_view what) {
    const bool to_file = !output.empty() && output != "-";
    const std::string said = to_file ? entries_line(output, entries) : std::string();
    const result<written_file> written = write_output(output, text);
    if (!written) {
        report.report(
            file_error(to_file ? output : "<stdout>",
                       "cannot write " + std::string(what) + ": " + written.error().message));
        return false;
    }
    report_in_place(report, output, *written);
    write_text(stdout, said);
    return true;
}
