// What a check finds in a file: an error, or a warning of a class that the -W options
// can turn off or make an error, at its place, with notes that explain it.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The name -W and the reports use: "duplicate-byte".
std::string_view class_name(warning_class which);

// Every class's name, in order, between separators: "truncated-field, duplicate-byte, ...".
std::string class_names(std::string_view separator);

// The class of a name; none for a name that is no class.
std::optional<warning_class> class_named(std::string_view name);

// What an error of no warning class is about, for reports that name every finding's rule.
enum class error_kind : std::uint8_t {
    file, // a file that cannot be read, written or used; also a warning of no class
    utf16,
    no_entry,
    too_many_entries,
    spaces_only,
    no_separator,
    first_field_empty,
    first_field_bad,
    second_field_empty,
    second_field_bad,
};
constexpr std::size_t ERROR_KINDS = 10;

// The name of an error kind: "first-field-bad".
std::string_view kind_name(error_kind kind);

// What a warning class or an error kind is about, in a few words, for the rules of a report.
std::string_view class_summary(warning_class which);
std::string_view kind_summary(error_kind kind);

enum class severity : std::uint8_t { error, warning };

struct diagnostic_note {
    std::string text;
    std::uint64_t line = 0; // 0: about the whole file
    std::uint64_t column = 0;
    std::size_t span = 1; // bytes from the column on
};

// One edit of a fix: the bytes [column, column + span) of a line replaced by a text (an
// insertion when span is 0). Columns count bytes from 1.
struct replacement {
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    std::size_t span = 0;
    std::string text;
};

// A repair of a finding. A safe fix is certain; an unsafe one is one of several plausible
// repairs, applied only when asked for. The edits of a fix never overlap.
struct fix {
    std::string description;
    bool safe = true;
    std::vector<replacement> edits;
};

struct finding {
    severity level = severity::error;
    std::optional<warning_class> which; // the warning's class; none for an error of its own
    error_kind kind = error_kind::file; // without a class: what the error is about
    std::string message;
    std::string_view file;  // the name the file goes by in reports
    std::uint64_t line = 0; // 0: about the whole file
    std::uint64_t column = 0;
    std::size_t span = 1;                // bytes underlined from the column on
    std::string_view source;             // the text of the line around the column, for the excerpt
    std::uint64_t source_column = 1;     // the column of source's first byte
    std::uint64_t source_characters = 0; // characters (UTF-8 code points) of the line before it
    std::vector<diagnostic_note> notes;
    std::vector<fix> fixes; // the safe ones first, then the unsafe alternatives in order
    std::optional<std::uint64_t> mapmaker_line; // the line number mapmaker gives for it

    // A note at the finding's own place.
    void note(std::string text) { notes.push_back({std::move(text), line, column, span}); }

    // A fix of one edit on the finding's line: bytes [column, column + span) become text.
    void add_fix(std::string description, bool safe, std::uint64_t at, std::size_t length,
                 std::string text) {
        fixes.push_back({std::move(description), safe, {{line, at, length, std::move(text)}}});
    }
};

// An error about a whole file.
finding file_error(std::string_view file, std::string message);

// A warning about a whole file, of no class (such as a byte left out on import).
finding file_warning(std::string_view file, std::string message);
