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

enum class severity : std::uint8_t { error, warning };

struct diagnostic_note {
    std::string text;
    std::uint64_t line = 0; // 0: about the whole file
    std::uint64_t column = 0;
};

struct finding {
    severity level = severity::error;
    std::optional<warning_class> which; // the warning's class; none for an error of its own
    std::string message;
    std::string_view file;  // the name the file goes by in reports
    std::uint64_t line = 0; // 0: about the whole file
    std::uint64_t column = 0;
    std::size_t span = 1;            // bytes underlined from the column on
    std::string_view source;         // the text of the line around the column, for the excerpt
    std::uint64_t source_column = 1; // the column of source's first byte
    std::vector<diagnostic_note> notes;
    std::optional<std::uint64_t> mapmaker_line; // the line number mapmaker gives for it

    // A note at the finding's own place.
    void note(std::string text) { notes.push_back({std::move(text), line, column}); }
};

// An error about a whole file.
finding file_error(std::string_view file, std::string message);

// A warning about a whole file, of no class (such as a byte left out on import).
finding file_warning(std::string_view file, std::string message);
