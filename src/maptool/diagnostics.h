// Findings about a file, and how they are printed: in the form compilers use, or as JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class warning_class : std::uint8_t {
    truncated_field,
    duplicate_byte,
    duplicate_code,
    surrogate,
    noncharacter,
    name_mismatch,
    long_line,
    lone_cr,
    ctrl_z,
    nul,
    ascii,    // only with -Wall
    unmapped, // only with -Wall
};
constexpr std::size_t WARNING_CLASSES = 12;

std::string_view class_name(warning_class which);

// Which warnings are shown, and which count as errors.
struct warning_policy {
    std::bitset<WARNING_CLASSES> enabled = default_enabled();
    std::bitset<WARNING_CLASSES> as_error;
    bool all_as_error = false;

    static std::bitset<WARNING_CLASSES> default_enabled();
};

// Applies one -W option's value: all, error, error=CLASS, CLASS or no-CLASS. False when the
// value names no warning class.
bool apply_warning_option(warning_policy& policy, std::string_view value);

struct diagnostic_note {
    std::string text;
    std::uint64_t line = 0; // 0: at the finding's own place
    std::uint64_t column = 0;
};

struct finding {
    bool error = true;
    std::optional<warning_class> which; // the warning's class; none for an error of its own
    std::string message;
    std::uint64_t line = 0; // 0: about the whole file
    std::uint64_t column = 0;
    std::size_t span = 1;            // bytes underlined from the column on
    std::string_view source;         // the text of the line around the column, for the excerpt
    std::uint64_t source_column = 1; // the column of source's first byte
    std::vector<diagnostic_note> notes;
    std::optional<std::uint64_t> mapmaker_line; // the line number mapmaker gives for it
};

enum class output_format : std::uint8_t { text, json };

struct diagnostic_printer {
    std::FILE* out = stdout;
    output_format format = output_format::text;
    bool color = false;
    warning_policy policy;
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    std::uint64_t files = 0;
    nlohmann::json collected = nlohmann::json::array(); // the findings, for JSON output
};

// Decides --color=auto|always|never for a stream: auto is on only for a terminal, and never
// when NO_COLOR is set. False for any other value.
bool choose_color(std::string_view when, std::FILE* stream, bool& color);

// Reports a warning under the policy (dropped when its class is off, an error when asked),
// or an error. Counts it.
void report(diagnostic_printer& printer, std::string_view file, finding found);

// Renders bytes of a DSC file for a message: invisible and undecodable bytes are spelled
// out as <XX> or <U+XXXX>.
std::string visible(std::string_view bytes);

// The closing line of a text report: "2 errors and 3 warnings in 1 file".
std::string summary_line(const diagnostic_printer& printer);

// Ends the report: the summary line in text form, the JSON document otherwise.
void finish_report(diagnostic_printer& printer, bool with_summary);
