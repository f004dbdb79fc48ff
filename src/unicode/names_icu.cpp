#include "unicode/names.h"

#include "platform/atomic_file.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

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
// codes a map can hold are read once instead, when first needed, into one text and a
// table of places: some 50,000 strings each on the heap, in a map of nodes, cost three
// times as much to make and to free as the reading itself.
struct name_place {
    std::uint32_t offset; // in name_index::text
    std::uint32_t length;
    std::uint32_t code;
};

struct name_index {
    std::string text; // every name, one after the other
    std::vector<name_place> places;
    std::vector<std::uint32_t> slots; // open addressing: a place's index + 1, or 0 for none
};

// Names share long beginnings ("LATIN CAPITAL LETTER ") and often endings (" WITH DOT
// BELOW"): the first, middle and last eight bytes and the length, read as words rather
// than byte by byte, tell them apart well enough for a table at most half full.
std::uint32_t name_hash(std::string_view name) {
    const std::size_t size = name.size();
    const std::size_t word = std::min<std::size_t>(size, 8);
    std::uint64_t head = 0;
    std::uint64_t middle = 0;
    std::uint64_t tail = 0;
    std::memcpy(&head, name.data(), word);
    std::memcpy(&middle, name.data() + (size - word) / 2, word);
    std::memcpy(&tail, name.data() + size - word, word);
    std::uint64_t hash = (head * 0x9E3779B97F4A7C15U) ^ (middle * 0xC2B2AE3D27D4EB4FU) ^
                         (tail * 0x165667B19E3779F9U) ^ size;
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9U;
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

struct enumeration {
    name_index index;
    bool out_of_memory = false;
};

// No exception may pass through ICU's frames: a failed allocation stops the enumeration.
UBool add_name(void* context, UChar32 code, UCharNameChoice, const char* name, int32_t length) {
    auto& names = *static_cast<enumeration*>(context);
    try {
        names.index.places.push_back({static_cast<std::uint32_t>(names.index.text.size()),
                                      static_cast<std::uint32_t>(length),
                                      static_cast<std::uint32_t>(code)});
        names.index.text.append(name, static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        names.out_of_memory = true;
        return false;
    }
    return true;
}

std::string_view name_at(const name_index& index, const name_place& place) {
    return std::string_view(index.text).substr(place.offset, place.length);
}

// The slot where the name is, or the empty one where it would go.
std::size_t slot_of(const name_index& index, std::string_view name) {
    const std::size_t mask = index.slots.size() - 1;
    std::size_t slot = name_hash(name) & mask;
    while (index.slots[slot] != 0 && name_at(index, index.places[index.slots[slot] - 1]) != name) {
        slot = (slot + 1) & mask;
    }
    return slot;
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
        name_index& index = found.index;
        // At most half full, so that a search meets few names that are not its own.
        index.slots.assign(std::bit_ceil(2 * index.places.size() + 1), 0);
        for (std::size_t place = 0; place < index.places.size(); ++place) {
            std::uint32_t& slot = index.slots[slot_of(index, name_at(index, index.places[place]))];
            if (slot == 0) { // the first code of a name is the one it stands for
                slot = static_cast<std::uint32_t>(place + 1);
            }
        }
        return std::move(index);
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
        const name_index& index = bmp_names();
        const std::uint32_t slot = index.slots[slot_of(index, upper)];
        return slot == 0 ? std::nullopt : std::optional(index.places[slot - 1].code);
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
