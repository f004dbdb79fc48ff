// The options several verbs share, and how their findings reach the user.
#pragma once

#include "engine/diagnostics.h"
#include "engine/result.h"
#include "maptool/command_line.h"
#include "maptool/render_json.h"
#include "maptool/render_sarif.h"
#include "maptool/render_text.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct diagnostic_options {
    std::vector<std::string> warnings; // the values of -W
    std::string color = "auto";
    std::string format = "text";
    bool quiet = false; // the findings alone
};

// -W, --color, --format and -q, checked while the command line is read.
void add_diagnostic_options(verb_line& verb, diagnostic_options& options);

// --color alone, for the verbs whose only diagnostics are their errors and warnings.
void add_color_option(verb_line& verb, std::string& color);

// Where the findings go, as the options say: text, with a closing count when `summary`
// and not quiet, JSON or SARIF.
class report_renderer {
  public:
    report_renderer(const diagnostic_options& options, std::FILE* out, bool summary);
    renderer& get();

  private:
    std::string format_;
    text_renderer text_;
    json_renderer as_json_;
    sarif_renderer as_sarif_;
};

// The -W options applied in order to the default policy.
warning_policy policy_of(const diagnostic_options& options);

// --color=auto|always|never for a stream: auto is on only for a terminal, and never
// when NO_COLOR is set.
bool use_color(std::string_view when, std::FILE* stream);

// The line of a file written: "x.map: 123 entries". Made before the file replaces the old
// one: once it has, the run has succeeded, and nothing may fail for want of memory.
std::string entries_line(std::string_view file, std::size_t count);

// Reports a failure about a whole file, unless its findings were reported already.
void report_failure(diagnostics& report, std::string_view file, const failure& why);

// Whether output (a file, not standard output) is the table read from source, by any name
// or link; then the refusal is reported, what being the output's kind: "the DSC file".
bool refuse_own_file(diagnostics& report, const std::string& source, const std::string& output,
                     std::string_view what);

// Writes text to output (standard output for "" or "-"), and for a file says how many
// entries it holds; false when it could not be written, which is reported.
bool write_table_output(diagnostics& report, const std::string& output, std::string_view text,
                        std::size_t entries, std::string_view what);
