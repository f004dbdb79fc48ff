#include "maptool/diagnostics.h"

#include <array>
#include <cstdlib>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr std::array<std::string_view, WARNING_CLASSES> CLASS_NAMES = {
    "truncated-field", "duplicate-byte", "duplicate-code", "surrogate", "noncharacter",
    "name-mismatch",   "long-line",      "lone-cr",        "ctrl-z",    "nul",
    "ascii",           "unmapped",
};

std::optional<std::size_t> class_index(std::string_view name) {
    for (std::size_t i = 0; i < CLASS_NAMES.size(); ++i) {
        if (CLASS_NAMES[i] == name) {
            return i;
        }
    }
    return std::nullopt;
}

// The length of the UTF-8 sequence that starts text, or 0 when it is not a valid one.
std::size_t utf8_length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0                 ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || (lead >= 0xE0 && lead > 0xF4) || text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Spells bytes out for a terminal. columns, when given, gets the display column at which
// each byte's rendering starts, and one more entry for the end.
std::string render(std::string_view bytes, std::vector<std::size_t>* columns) {
    std::string shown;
    std::size_t width = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 1;
        std::string piece;
        std::size_t piece_width = 0;
        if (byte >= 0x20 && byte < 0x7F) {
            piece.assign(1, static_cast<char>(byte));
            piece_width = 1;
        } else if (const std::size_t sequence = byte >= 0x80 ? utf8_length(bytes.substr(i)) : 0) {
            length = sequence;
            if (bytes.substr(i, 3) == "\xEF\xBB\xBF") {
                piece = "<U+FEFF>"; // a byte order mark shows nothing of its own
                piece_width = piece.size();
            } else {
                piece.assign(bytes.substr(i, length));
                piece_width = 1;
            }
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", byte);
            piece = hex;
            piece_width = piece.size();
        }
        for (std::size_t k = 0; k < length && columns != nullptr; ++k) {
            columns->push_back(width);
        }
        shown += piece;
        width += piece_width;
        i += length;
    }
    if (columns != nullptr) {
        columns->push_back(width);
    }
    return shown;
}

struct palette {
    const char* bold = "";
    const char* error = "";
    const char* warning = "";
    const char* note = "";
    const char* caret = "";
    const char* reset = "";
};

palette colors(bool on) {
    if (!on) {
        return {};
    }
    return {"\033[1m", "\033[1;31m", "\033[1;35m", "\033[1;36m", "\033[1;32m", "\033[m"};
}

void put_location(std::string& text, std::string_view file, std::uint64_t line,
                  std::uint64_t column) {
    text += file;
    if (line != 0) {
        text += ':' + std::to_string(line) + ':' + std::to_string(column);
    }
    text += ':';
}

// The line with the finding underlined, as compilers show it.
void put_excerpt(std::string& text, const finding& found, const palette& paint) {
    std::vector<std::size_t> columns;
    const bool continued = found.source_column > 1;
    const std::string shown = (continued ? "..." : "") + render(found.source, &columns);
    const std::size_t shift = continued ? 3 : 0;
    const std::size_t first = found.column - found.source_column;
    const std::size_t last =
        std::min(first + std::max<std::size_t>(found.span, 1), found.source.size() + 1);
    const std::size_t start = shift + columns[std::min(first, columns.size() - 1)];
    const std::size_t end = shift + columns[std::min(last, columns.size() - 1)];
    std::string number = std::to_string(found.line);
    const std::size_t gutter = std::max<std::size_t>(number.size(), 4) + 1;
    text += std::string(gutter - number.size(), ' ') + number + " | " + shown + '\n';
    text += std::string(gutter, ' ') + " | " + std::string(start, ' ') + paint.caret + '^' +
            std::string(end > start + 1 ? end - start - 1 : 0, '~') + paint.reset + '\n';
}

void print_text(diagnostic_printer& printer, std::string_view file, const finding& found) {
    const palette paint = colors(printer.color);
    std::string text = paint.bold;
    put_location(text, file, found.line, found.column);
    text += paint.reset;
    text += found.error ? std::string(" ") + paint.error + "error:" + paint.reset
                        : std::string(" ") + paint.warning + "warning:" + paint.reset;
    text += ' ' + found.message;
    if (found.which) {
        const std::string name(class_name(*found.which));
        text += found.error ? " [-Werror,-W" + name + "]" : " [-W" + name + "]";
    }
    text += '\n';
    if (found.line != 0 && !found.source.empty()) {
        put_excerpt(text, found, paint);
    }
    for (const diagnostic_note& note : found.notes) {
        text += paint.bold;
        put_location(text, file, note.line != 0 ? note.line : found.line,
                     note.line != 0 ? note.column : found.column);
        text += paint.reset;
        text += std::string(" ") + paint.note + "note:" + paint.reset + ' ' + note.text + '\n';
    }
    std::fwrite(text.data(), 1, text.size(), printer.out);
}

nlohmann::json as_json(std::string_view file, const finding& found) {
    nlohmann::json notes = nlohmann::json::array();
    for (const diagnostic_note& note : found.notes) {
        notes.push_back(note.text);
    }
    const auto number_or_null = [](std::uint64_t value) {
        return value == 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
    };
    return {
        {"file", file},
        {"line", number_or_null(found.line)},
        {"column", number_or_null(found.line == 0 ? 0 : found.column)},
        {"severity", found.error ? "error" : "warning"},
        {"class", found.which ? nlohmann::json(class_name(*found.which)) : nlohmann::json(nullptr)},
        {"message", found.message},
        {"notes", notes},
        {"mapmaker_line",
         found.mapmaker_line ? nlohmann::json(*found.mapmaker_line) : nlohmann::json(nullptr)},
    };
}

std::string counted(std::uint64_t count, std::string_view what) {
    return std::to_string(count) + ' ' + std::string(what) + (count == 1 ? "" : "s");
}

} // namespace

std::string_view class_name(warning_class which) {
    return CLASS_NAMES[static_cast<std::size_t>(which)];
}

std::bitset<WARNING_CLASSES> warning_policy::default_enabled() {
    std::bitset<WARNING_CLASSES> enabled;
    enabled.set();
    enabled.reset(static_cast<std::size_t>(warning_class::ascii));
    enabled.reset(static_cast<std::size_t>(warning_class::unmapped));
    return enabled;
}

bool apply_warning_option(warning_policy& policy, std::string_view value) {
    if (value == "all") {
        policy.enabled.set();
        return true;
    }
    if (value == "error") {
        policy.all_as_error = true;
        return true;
    }
    bool on = true;
    bool error = false;
    if (value.starts_with("no-")) {
        on = false;
        value.remove_prefix(3);
    } else if (value.starts_with("error=")) {
        error = true;
        value.remove_prefix(6);
    }
    const std::optional<std::size_t> index = class_index(value);
    if (!index) {
        return false;
    }
    policy.enabled[*index] = on;
    if (error) {
        policy.as_error[*index] = true;
    }
    return true;
}

bool choose_color(std::string_view when, std::FILE* stream, bool& color) {
    if (when == "always" || when == "never") {
        color = when == "always";
        return true;
    }
    if (when != "auto") {
        return false;
    }
    const char* no_color = std::getenv("NO_COLOR");
    color = (no_color == nullptr || *no_color == '\0') && isatty(fileno(stream)) != 0;
    return true;
}

void report(diagnostic_printer& printer, std::string_view file, finding found) {
    if (found.which) {
        const auto index = static_cast<std::size_t>(*found.which);
        if (!printer.policy.enabled[index]) {
            return;
        }
        found.error = printer.policy.all_as_error || printer.policy.as_error[index];
    }
    ++(found.error ? printer.errors : printer.warnings);
    if (printer.format == output_format::json) {
        printer.collected.push_back(as_json(file, found));
    } else {
        print_text(printer, file, found);
    }
}

std::string visible(std::string_view bytes) {
    return render(bytes, nullptr);
}

std::string summary_line(const diagnostic_printer& printer) {
    return counted(printer.errors, "error") + " and " + counted(printer.warnings, "warning") +
           " in " + counted(printer.files, "file");
}

void finish_report(diagnostic_printer& printer, bool with_summary) {
    std::string text;
    if (printer.format == output_format::json) {
        text =
            printer.collected.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
    } else if (with_summary) {
        text = summary_line(printer) + '\n';
    }
    std::fwrite(text.data(), 1, text.size(), printer.out);
}
