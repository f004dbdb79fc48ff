// Windows' code pages, read with MultiByteToWideChar: what stands in for iconv there.
#include "platform/code_pages.h"

#include <algorithm>
#include <array>

#include <windows.h>

namespace {

struct named_code_page {
    const char* name;
    std::uint32_t number;
};

// The names glibc's iconv knows these code pages by, so that iconv:NAME reads the same
// code page on both systems; each number's names together, the usual one first.
constexpr std::array<named_code_page, 76> names = {{
    {"CP437", 437},         {"IBM437", 437},        {"CP737", 737},         {"CP775", 775},
    {"IBM775", 775},        {"CP850", 850},         {"IBM850", 850},        {"CP852", 852},
    {"IBM852", 852},        {"CP855", 855},         {"IBM855", 855},        {"CP857", 857},
    {"IBM857", 857},        {"CP858", 858},         {"IBM858", 858},        {"CP860", 860},
    {"IBM860", 860},        {"CP861", 861},         {"IBM861", 861},        {"CP862", 862},
    {"IBM862", 862},        {"CP863", 863},         {"IBM863", 863},        {"CP864", 864},
    {"IBM864", 864},        {"CP865", 865},         {"IBM865", 865},        {"CP866", 866},
    {"IBM866", 866},        {"CP869", 869},         {"IBM869", 869},        {"CP874", 874},
    {"WINDOWS-874", 874},   {"CP1250", 1250},       {"WINDOWS-1250", 1250}, {"MS-EE", 1250},
    {"CP1251", 1251},       {"WINDOWS-1251", 1251}, {"MS-CYRL", 1251},      {"CP1252", 1252},
    {"WINDOWS-1252", 1252}, {"MS-ANSI", 1252},      {"CP1253", 1253},       {"WINDOWS-1253", 1253},
    {"MS-GREEK", 1253},     {"CP1254", 1254},       {"WINDOWS-1254", 1254}, {"MS-TURK", 1254},
    {"CP1255", 1255},       {"WINDOWS-1255", 1255}, {"CP1256", 1256},       {"WINDOWS-1256", 1256},
    {"CP1257", 1257},       {"WINDOWS-1257", 1257}, {"CP1258", 1258},       {"WINDOWS-1258", 1258},
    {"MACINTOSH", 10000},   {"MACCYRILLIC", 10007}, {"US-ASCII", 20127},    {"KOI8-R", 20866},
    {"KOI8-U", 21866},      {"ISO-8859-1", 28591},  {"LATIN1", 28591},      {"ISO-8859-2", 28592},
    {"LATIN2", 28592},      {"ISO-8859-3", 28593},  {"ISO-8859-4", 28594},  {"ISO-8859-5", 28595},
    {"CYRILLIC", 28595},    {"ISO-8859-6", 28596},  {"ISO-8859-7", 28597},  {"GREEK", 28597},
    {"ISO-8859-8", 28598},  {"ISO-8859-9", 28599},  {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605},
}};

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return result;
}

// A number, alone or after one of the prefixes every code page may be named with.
std::optional<std::uint32_t> numbered(std::string_view name) {
    for (const std::string_view prefix : {"CP", "IBM", "WINDOWS-"}) {
        if (name.starts_with(prefix)) {
            name.remove_prefix(prefix.size());
            break;
        }
    }
    if (name.empty() || name.size() > 5 ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (const char c : name) {
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return number;
}

// Windows' single-byte code pages, without the UTF ones and those of two bytes a
// character, which a map cannot hold.
bool single_byte(std::uint32_t number) {
    CPINFO info;
    return number != CP_UTF7 && number != CP_UTF8 && IsValidCodePage(number) != 0 &&
           GetCPInfo(number, &info) != 0 && info.MaxCharSize == 1;
}

} // namespace

std::optional<std::uint32_t> code_page_number(std::string_view name) {
    const std::string wanted = upper(name);
    // Also the other spellings iconv takes: ISO8859-5, ISO_8859-5, ISO-8859-5.
    std::string iso = wanted;
    if (iso.starts_with("ISO8859-") || iso.starts_with("ISO_8859-")) {
        iso = "ISO-8859-" + iso.substr(iso.find('-') + 1);
    }
    std::optional<std::uint32_t> number = numbered(wanted);
    for (const named_code_page& each : names) {
        if (wanted == each.name || iso == each.name) {
            number = each.number;
        }
    }
    if (!number || !single_byte(*number)) {
        return std::nullopt;
    }
    return number;
}

std::vector<std::string> code_page_names() {
    std::vector<std::string> found;
    for (const named_code_page& each : names) {
        if (single_byte(each.number)) {
            found.emplace_back(each.name);
        }
    }
    return found;
}

std::optional<std::vector<std::uint32_t>> decode_code_page_byte(std::uint32_t code_page,
                                                                std::uint8_t byte) {
    const char in = static_cast<char>(byte);
    std::array<wchar_t, 8> out;
    // A byte the code page does not define is an error, not a replacement character.
    const int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, &in, 1, out.data(),
                                           static_cast<int>(out.size()));
    if (length <= 0) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> codes;
    for (int i = 0; i < length; ++i) {
        const std::uint32_t unit = out[static_cast<std::size_t>(i)];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length) {
            const std::uint32_t low = out[static_cast<std::size_t>(++i)];
            codes.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
            codes.push_back(unit);
        }
    }
    return codes;
}
