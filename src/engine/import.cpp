#include "engine/import.h"

#include "engine/dsc_text.h"
#include "engine/files.h"
#include "platform/files.h"
#include "unicode/names.h"

#include <zlib.h>
#if defined(MAPTOOL_ICONV)
#include <iconv.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

namespace {

// A gzip reader of the file, which reads any other file as it is. The file is opened by
// the platform layer, which knows how the system takes a UTF-8 name.
gzFile open_gz(const std::string& path) {
    int fd = -1;
    if (path == "-") {
        set_binary(stdin);
        fd = duplicate_descriptor(stdin);
    } else if (const unique_file file{open_file(path, "rb")}) {
        fd = duplicate_descriptor(file.get());
    }
    if (fd < 0) {
        return nullptr;
    }
    const gzFile file = gzdopen(fd, "rb");
    if (file == nullptr) {
        close_descriptor(fd);
    }
    return file;
}

struct gz_closer {
    void operator()(gzFile file) const { gzclose(file); }
};

// The whole text of a file, uncompressed when it is gzip-compressed: zlib reads any
// other file as it is.
result<std::string> read_text(const std::string& path) {
    errno = 0;
    const std::unique_ptr<gzFile_s, gz_closer> file(open_gz(path));
    if (!file) {
        if (errno == 0) {
            throw std::bad_alloc(); // zlib could not allocate its state
        }
        return failure{"cannot open the file: " + system_reason(errno)};
    }
    std::string text;
    std::array<char, 1 << 16> buffer;
    int got = 0;
    while ((got = gzread(file.get(), buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
    if (got < 0) {
        int code = Z_OK;
        const char* message = gzerror(file.get(), &code);
        if (code == Z_MEM_ERROR) {
            throw std::bad_alloc();
        }
        return failure{"cannot read the file: " +
                       (code == Z_ERRNO ? system_reason(errno) : std::string(message))};
    }
    return text;
}

// A finding at a note's place in the source.
finding at_note(std::string_view file, const source_note& note, severity level) {
    finding found;
    found.level = level;
    found.file = file;
    found.message = note.message;
    found.line = note.line;
    found.column = note.column;
    found.span = note.span;
    found.source = note.text;
    return found;
}

// The file's name without its directory and without ".gz".
std::string file_name_of(const std::string& path) {
    std::string name = utf8_from_path(path_from_utf8(path).filename());
    if (name.ends_with(".gz")) {
        name.resize(name.size() - 3);
    }
    return name;
}

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

#endif

} // namespace

result<imported> import_file(const std::string& path, std::uint8_t first, diagnostics& report) {
    const std::string shown = display_name(path);
    const result<std::string> text = read_text(path);
    if (!text) {
        return text.error();
    }
    mapping_source source = read_mapping_source(*text);
    for (const source_note& warning : source.warnings) {
        if (!warning.byte || *warning.byte >= first) {
            report.report(at_note(shown, warning, severity::warning));
        }
    }
    if (source.error) {
        report.report(at_note(shown, *source.error, severity::error));
        return failure::reported();
    }
    const bool charmap = source.format == source_format::charmap;
    const std::string file = file_name_of(path);
    imported table;
    table.entries = std::move(source.entries);
    table.name = charmap && !source.charset.empty() ? source.charset : table_name_of(file);
    table.origin = std::string(source.charset.empty() ? "" : "charset " + source.charset + "; ") +
                   "generated by maptool import from " +
                   (path == "-" ? (charmap ? "a charmap" : "a Unicode mapping table") +
                                      std::string(" on standard input")
                                : (charmap ? "the charmap " : "the Unicode mapping table ") + file);
    return table;
}

#if defined(MAPTOOL_ICONV)

bool iconv_available() {
    return true;
}

result<imported> import_iconv(const std::string& charset, std::uint8_t first, diagnostics& report) {
    const std::string shown = "iconv " + charset;
    const iconv_t opened = iconv_open("UTF-32BE", charset.c_str());
    if (opened == reinterpret_cast<iconv_t>(-1)) {
        return failure{errno == EINVAL ? "iconv knows no code page " + charset
                                       : "cannot start iconv: " + system_reason(errno)};
    }
    const iconv_handle converter(opened);
    imported table;
    for (unsigned value = first; value <= 0xFF; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        const std::optional<std::vector<std::uint32_t>> codes = convert_byte(opened, byte);
        if (!codes) {
            continue;
        }
        const std::string reason = unfit(*codes);
        if (reason.empty()) {
            table.entries.push_back(
                {.byte = byte, .code = static_cast<std::uint16_t>((*codes)[0]), .name = {}});
        } else {
            report.report(
                file_warning(shown, "byte " + hex_digits(byte, 2) + ' ' + reason + ": left out"));
        }
    }
    table.name = charset;
    table.origin = "charset " + charset + "; generated by maptool import from the system's iconv";
    return table;
}

#else

bool iconv_available() {
    return false;
}

result<imported> import_iconv(const std::string&, std::uint8_t, diagnostics&) {
    return failure{"this maptool is built without iconv"};
}

#endif

std::string imported_dsc_text(imported& table, bool with_names) {
    std::stable_sort(table.entries.begin(), table.entries.end(),
                     [](const source_entry& a, const source_entry& b) { return a.byte < b.byte; });
    std::string text = dsc_header(table.name) + dsc_comment(table.origin);
    for (const source_entry& entry : table.entries) {
        const std::string name = !with_names          ? std::string()
                                 : entry.name.empty() ? char_name(entry.code)
                                                      : entry.name;
        text += dsc_entry(entry.byte, entry.code, name);
    }
    return text;
}
