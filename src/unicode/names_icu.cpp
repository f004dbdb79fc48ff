#include "unicode/names.h"

#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <algorithm>

bool names_available() {
    return true;
}

std::string names_source() {
    return "ICU " U_ICU_VERSION;
}

std::string char_name(std::uint32_t code) {
    char buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(static_cast<UChar32>(code), U_EXTENDED_CHAR_NAME, buffer,
                                      sizeof buffer, &status);
    if (U_FAILURE(status) || length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::optional<std::uint32_t> char_from_name(std::string_view name) {
    // No name is this long, and ICU wants a terminated text.
    if (name.empty() || name.size() > 120) {
        return std::nullopt;
    }
    char upper[128];
    std::transform(name.begin(), name.end(), upper, [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    upper[name.size()] = '\0';
    UErrorCode status = U_ZERO_ERROR;
    const UChar32 code = u_charFromName(U_EXTENDED_CHAR_NAME, upper, &status);
    if (U_FAILURE(status) || code < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(code);
}
