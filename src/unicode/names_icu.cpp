#include "unicode/names.h"

#include "platform/atomic_file.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <unordered_map>
#include <utility>

namespace {

// ICU reports a failed allocation while it loads its data as whatever step failed (often
// as a file it could not open); errno still says why.
[[noreturn]] void names_failed(UErrorCode status) {
    if (status == U_MEMORY_ALLOCATION_ERROR || errno == ENOMEM) {
        throw_out_of_memory();
    }
    throw names_unreadable{u_errorName(status)};
}

} // namespace

bool names_available() {
    return true;
}

std::string names_source() {
    return "ICU " U_ICU_VERSION;
}

std::string char_name(std::uint32_t code) {
    char buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    errno = 0;
    const int32_t length = u_charName(static_cast<UChar32>(code), U_EXTENDED_CHAR_NAME, buffer,
                                      sizeof buffer, &status);
    if (U_FAILURE(status)) {
        names_failed(status);
    }
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

namespace {

// ICU finds a code by its name by going through every name there is, a quarter of a
// millisecond a search; a file's comments may ask hundreds of times. The names of the
// codes a map can hold are read once instead, when first needed.
using name_index = std::unordered_map<std::string, std::uint32_t>;

struct enumeration {
    name_index index;
    bool out_of_memory = false;
};

// No exception may pass through ICU's frames: a failed allocation stops the enumeration.
UBool add_name(void* context, UChar32 code, UCharNameChoice, const char* name, int32_t length) {
    auto& names = *static_cast<enumeration*>(context);
    try {
        names.index.emplace(std::string(name, static_cast<std::size_t>(length)),
                            static_cast<std::uint32_t>(code));
    } catch (const std::bad_alloc&) {
        names.out_of_memory = true;
        return false;
    }
    return true;
}

const name_index& bmp_names() {
    static const name_index names = [] {
        enumeration found;
        UErrorCode status = U_ZERO_ERROR;
        errno = 0;
        u_enumCharNames(0, 0x10000, add_name, &found, U_UNICODE_CHAR_NAME, &status);
        if (found.out_of_memory) {
            throw_out_of_memory();
        }
        if (U_FAILURE(status)) {
            names_failed(status);
        }
        return std::move(found.index);
    }();
    return names;
}

} // namespace

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
    if (upper[0] != '<') {
        const auto found = bmp_names().find(upper);
        return found == bmp_names().end() ? std::nullopt : std::optional(found->second);
    }
    // An extended name such as <control-0080> is read by ICU without a search.
    UErrorCode status = U_ZERO_ERROR;
    errno = 0;
    const UChar32 code = u_charFromName(U_EXTENDED_CHAR_NAME, upper, &status);
    if (U_FAILURE(status) && status != U_ILLEGAL_CHAR_FOUND && status != U_INVALID_CHAR_FOUND) {
        names_failed(status);
    }
    if (U_FAILURE(status) || code < 0 || code > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(code);
}

bool icu_has_converter(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const std::uint16_t aliases = ucnv_countAliases(name.c_str(), &status);
    if (status == U_MEMORY_ALLOCATION_ERROR) {
        throw_out_of_memory(); // not "no such converter": a name ICU takes stays refused
    }
    return U_SUCCESS(status) && aliases > 0;
}
