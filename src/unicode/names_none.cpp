// Built where neither ICU nor its table is available: no names, and the checks that need
// them are off.
#include "unicode/names.h"

bool names_available() {
    return false;
}

std::string names_source() {
    return {};
}

std::string char_name(std::uint32_t) {
    return {};
}

std::optional<std::uint32_t> char_from_name(std::string_view) {
    return std::nullopt;
}

bool icu_has_converter(const std::string&) {
    return false;
}
