#include "engine/import.h"

#include "engine/dsc_text.h"
#include "engine/files.h"
#include "engine/visible.h"
#include "platform/atomic_file.h"
#include "platform/files.h"

#if defined(MAPTOOL_ICONV)
#include <iconv.h>
#elif defined(MAPTOOL_CODE_PAGES)
#include "platform/code_pages.h"
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

namespace {

#if defined(MAPTOOL_ICONV)

struct iconv_closer {
    void operator()(iconv_t converter) const { iconv_close(converter); }
};
using iconv_handle = std::unique_ptr<std::remove_pointer_t<iconv_t>, iconv_closer>;

// The characters iconv gives for one byte on its own; none when it cannot convert it.
std::optional<std::vector<std::uint32_t>> convert_byte(iconv_t converter, std::uint8_t byte) {
    char in[1] = {static_cast<char>(byte)};
    std::array<char, 64> out;
    char* in_at = in;
    std::size_t in_left = 1;
    char* out_at = out.data();
    std::size_t out_left = out.size();
    constexpr auto FAILED = static_cast<std::size_t>(-1);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // The second call ends a shift state, for code pages that have one.
    if (iconv(converter, &in_at, &in_left, &out_at, &out_left) == FAILED ||
        iconv(converter, nullptr, nullptr, &out_at, &out_left) == FAILED) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> codes;
    for (const char* at = out.data(); at + 4 <= out_at; at += 4) {
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            code = code << 8 | static_cast<unsigned char>(at[i]);
        }
        codes.push_back(code);
    }
    return codes;
}

#endif

#if defined(MAPTOOL_ICONV) || defined(MAPTOOL_CODE_PAGES)

// Why a byte's characters cannot go into a map; empty when they can.
std::string unfit(const std::vector<std::uint32_t>& codes) {
    if (codes.empty()) {
        return "gives no character";
    }
    if (codes.size() > 1) {
        return "gives " + std::to_string(codes.size()) +
               " characters, and a map holds one per byte";
    }
    if (codes[0] > 0xFFFF) {
        return "gives U+" + hex_digits(codes[0], 4) + ", beyond FFFF, and a map holds 16-bit codes";
    }
    return {};
}

// The entries of the bytes from `first` on that the code page decodes to one character a
// map can hold; a byte it decodes to more, or beyond FFFF, is warned about and left out.
using byte_decoder = std::function<std::optional<std::vector<std::uint32_t>>(std::uint8_t)>;
std::vector<source_entry> decoded_entries(const std::string& charset, std::uint8_t first,
                                          const byte_decoder& decode, diagnostics& report) {
    const std::string shown = "iconv:" + visible(charset);
    std::vector<source_entry> entries;
    for (unsigned value = first; value <= 0xFF; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        const std::optional<std::vector<std::uint32_t>> codes = decode(byte);
        if (!codes) {
            continue;
        }
        const std::string reason = unfit(*codes);
        if (reason.empty()) {
            entries.push_back(
                {.byte = byte, .code = static_cast<std::uint16_t>((*codes)[0]), .name = {}});
        } else {
            report.report(
                file_warning(shown, "byte " + hex_digits(byte, 2) + ' ' + reason + ": left out"));
        }
    }
    return entries;
}

#endif

} // namespace

#if defined(MAPTOOL_ICONV)

bool iconv_knows(const std::string& charset) {
    // The empty name would be the locale's own charset.
    if (charset.empty()) {
        return false;
    }
    // Memory running out is no answer: a name glibc takes stays refused. glibc says so with
    // ENOMEM, except where it could not load the converter's module, which it reports as an
    // unknown name (EINVAL): an unknown name is asked once more, and a passing shortage
    // does not let a name glibc takes through.
    for (int asked = 0; asked < 2; ++asked) {
        errno = 0;
        const iconv_t opened = iconv_open("UTF-8", charset.c_str());
        if (opened != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(opened);
            return true;
        }
        if (errno == ENOMEM) {
            throw_out_of_memory();
        }
    }
    return false;
}

result<std::vector<source_entry>> iconv_entries(const std::string& charset, std::uint8_t first,
                                                diagnostics& report) {
    const iconv_t opened = iconv_open("UTF-32BE", charset.c_str());
    if (opened == reinterpret_cast<iconv_t>(-1)) {
        return failure{errno == EINVAL ? "iconv knows no code page " + visible(charset)
                                       : "cannot start iconv: " + system_reason(errno)};
    }
    const iconv_handle converter(opened);
    return decoded_entries(
        charset, first, [&](std::uint8_t byte) { return convert_byte(opened, byte); }, report);
}

#elif defined(MAPTOOL_CODE_PAGES)

// Without iconv, the system's own code pages (Windows'), under the names iconv knows.

// No glibc here whose charmaps a name could clash with, and no name looked up in it.
bool iconv_knows(const std::string&) {
    return false;
}

result<std::vector<source_entry>> iconv_entries(const std::string& charset, std::uint8_t first,
                                                diagnostics& report) {
    const std::optional<std::uint32_t> number = code_page_number(charset);
    if (!number) {
        return failure{"iconv knows no code page " + visible(charset)};
    }
    return decoded_entries(
        charset, first, [&](std::uint8_t byte) { return decode_code_page_byte(*number, byte); },
        report);
}

#else

bool iconv_knows(const std::string&) {
    return false;
}

result<std::vector<source_entry>> iconv_entries(const std::string&, std::uint8_t, diagnostics&) {
    return failure{"this maptool is built without iconv"};
}

#endif

std::string file_name_of(const std::string& path) {
    std::string name = utf8_from_path(path_from_utf8(path).filename());
    if (name.ends_with(".gz")) {
        name.resize(name.size() - 3);
    }
    return name;
}

std::string imported_dsc_text(const loaded_table& loaded, const std::string& path,
                              bool with_names) {
    const std::string from = loaded.form == table_form::iconv ? form_text(loaded.form)
                             : path == "-"
                                 ? (loaded.form == table_form::ucm ? "an " : "a ") +
                                       form_text(loaded.form).substr(4) + " on standard input"
                                 : form_text(loaded.form) + ' ' + file_name_of(path);
    const std::string charset = loaded.charset.empty() ? "" : "charset " + loaded.charset + "; ";
    std::string text =
        dsc_header(loaded.name) + dsc_comment(charset + "generated by maptool import from " + from);
    for (const std::size_t i : byte_order(loaded.table)) {
        text += dsc_entry(loaded.table.records[i][0], code_at(loaded.table, i),
                          with_names ? name_at(loaded, i) : std::string());
    }
    return text;
}
