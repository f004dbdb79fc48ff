#include "engine/findings.h"

#include <array>

namespace {

constexpr std::array<std::string_view, WARNING_CLASSES> CLASS_NAMES = {
    "truncated-field", "duplicate-byte", "duplicate-code", "surrogate", "noncharacter",
    "name-mismatch",   "long-line",      "lone-cr",        "ctrl-z",    "nul",
    "ascii",           "unmapped",
};

constexpr std::array<std::string_view, WARNING_CLASSES> CLASS_SUMMARIES = {
    "a field has more digits than its width: mapmaker keeps the last ones",
    "a byte is listed again",
    "a UNICODE code is listed for two bytes",
    "a UNICODE code is a surrogate, not a character",
    "a UNICODE code is a noncharacter",
    "a comment names another character than the code",
    "a line of 254 characters or more, which mapmaker reads in pieces",
    "a CR without an LF after it, which hides the rest of the line",
    "text after a Ctrl-Z, which is never read",
    "a NUL byte, which hides the rest of the line",
    "a byte in ASCII that maps to another character",
    "bytes 80-FF that no entry lists",
};

constexpr std::array<std::string_view, ERROR_KINDS> KIND_NAMES = {
    "file",
    "utf-16",
    "no-entry",
    "too-many-entries",
    "spaces-only",
    "no-separator",
    "first-field-empty",
    "first-field-bad",
    "second-field-empty",
    "second-field-bad",
};

constexpr std::array<std::string_view, ERROR_KINDS> KIND_SUMMARIES = {
    "a file that cannot be read, written or used",
    "a file in UTF-16, which mapmaker cannot read",
    "a table with no entry",
    "more than 256 entries",
    "a line of spaces only",
    "a line with no second field",
    "an empty first field",
    "a first field that is not a hexadecimal number",
    "an empty second field",
    "a second field that is not a hexadecimal number",
};

} // namespace

std::string_view kind_name(error_kind kind) {
    return KIND_NAMES[static_cast<std::size_t>(kind)];
}

std::string_view class_summary(warning_class which) {
    return CLASS_SUMMARIES[static_cast<std::size_t>(which)];
}

std::string_view kind_summary(error_kind kind) {
    return KIND_SUMMARIES[static_cast<std::size_t>(kind)];
}

std::string_view class_name(warning_class which) {
    return CLASS_NAMES[static_cast<std::size_t>(which)];
}

std::string class_names(std::string_view separator) {
    std::string names;
    for (const std::string_view name : CLASS_NAMES) {
        names += (names.empty() ? "" : std::string(separator)) + std::string(name);
    }
    return names;
}

std::optional<warning_class> class_named(std::string_view name) {
    for (std::size_t i = 0; i < CLASS_NAMES.size(); ++i) {
        if (CLASS_NAMES[i] == name) {
            return static_cast<warning_class>(i);
        }
    }
    return std::nullopt;
}

finding file_error(std::string_view file, std::string message) {
    finding found;
    found.file = file;
    found.message = std::move(message);
    return found;
}

finding file_warning(std::string_view file, std::string message) {
    finding found = file_error(file, std::move(message));
    found.level = severity::warning;
    return found;
}
