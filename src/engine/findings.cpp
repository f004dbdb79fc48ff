#include "engine/findings.h"

#include <array>

namespace {

constexpr std::array<std::string_view, WARNING_CLASSES> CLASS_NAMES = {
    "truncated-field", "duplicate-byte", "duplicate-code", "surrogate", "noncharacter",
    "name-mismatch",   "long-line",      "lone-cr",        "ctrl-z",    "nul",
    "ascii",           "unmapped",
};

} // namespace

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
