#include "engine/text_forms.h"

#include "engine/dsc_text.h"
#include "unicode/names.h"

#include <algorithm>
#include <iterator>

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t skip_blanks(std::string_view text, std::size_t from) {
    while (from < text.size() && is_blank(text[from])) {
        ++from;
    }
    return from;
}

std::size_t skip_word(std::string_view text, std::size_t from) {
    while (from < text.size() && !is_blank(text[from])) {
        ++from;
    }
    return from;
}

std::string collapse(std::string_view text) {
    std::string words;
    for (std::size_t at = skip_blanks(text, 0); at < text.size(); at = skip_blanks(text, at)) {
        const std::size_t end = skip_word(text, at);
        if (!words.empty()) {
            words += ' ';
        }
        words += text.substr(at, end - at);
        at = end;
    }
    return words;
}

int digit_value(char c, int base) {
    int value = 99;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

std::optional<std::uint32_t> number(std::string_view digits, int base, std::size_t max_digits) {
    if (digits.empty() || digits.size() > max_digits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = digit_value(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::uint32_t> prefixed_hex(std::string_view field) {
    if (field.size() < 3 || field[0] != '0' || (field[1] != 'x' && field[1] != 'X')) {
        return std::nullopt;
    }
    return number(field.substr(2), 16, 8);
}

std::string byte_text(std::uint8_t byte) {
    return "byte " + hex_digits(byte, 2);
}

namespace {

// Each byte may be warned about again and again (a file of one line repeated): past this
// many warnings, the rest are only counted, so that what is kept stays small.
constexpr std::size_t WARNINGS_MAX = 512;

source_note note(const source_line& line, std::size_t at, std::size_t span, std::string message,
                 std::optional<std::uint8_t> byte) {
    return {.line = line.number,
            .column = at + 1,
            .span = span,
            .message = std::move(message),
            .text = std::string(line.text),
            .byte = byte};
}

} // namespace

void source_reader::fail(const source_line& line, std::size_t at, std::size_t span,
                         std::string message) {
    if (!failed()) {
        result.error = note(line, at, span, std::move(message), std::nullopt);
    }
}

void source_reader::fail_file(std::string message) {
    if (!failed()) {
        result.error.emplace();
        result.error->column = 0;
        result.error->message = std::move(message);
    }
}

void source_reader::warn(const source_line& line, std::size_t at, std::size_t span,
                         std::string message, std::optional<std::uint8_t> byte) {
    if (byte && *byte < first) {
        return;
    }
    if (result.warnings.size() >= WARNINGS_MAX) {
        ++warnings_not_kept_;
        return;
    }
    result.warnings.push_back(note(line, at, span, std::move(message), byte));
}

void source_reader::define(const source_line& line, std::size_t at, std::size_t span,
                           std::uint8_t byte, std::span<const std::uint32_t> codes,
                           std::string name) {
    if (defined_on_[byte] != 0) {
        warn(line, at, span,
             byte_text(byte) + " is defined again; the definition on line " +
                 std::to_string(defined_on_[byte]) + " is kept",
             byte);
        return;
    }
    if (codes.size() != 1) {
        std::string listed;
        for (const std::uint32_t code : codes) {
            listed += (listed.empty() ? "U+" : " U+") + hex_digits(code, 4);
        }
        warn(line, at, span,
             byte_text(byte) + " maps to " + std::to_string(codes.size()) + " characters (" +
                 listed + "), and a map holds one per byte: left out",
             byte);
    } else if (codes[0] > 0xFFFF) {
        warn(line, at, span,
             byte_text(byte) + " maps to U+" + hex_digits(codes[0], 4) +
                 ", beyond FFFF, and a map holds 16-bit codes: left out",
             byte);
    } else {
        defined_on_[byte] = line.number;
        if (byte >= first) {
            result.entries.push_back({.byte = byte,
                                      .code = static_cast<std::uint16_t>(codes[0]),
                                      .name = std::move(name)});
        }
    }
}

void source_reader::multi_byte(const source_line& line, std::size_t at, std::size_t span,
                               std::uint64_t codes) {
    if (multi_byte_codes_ == 0) {
        first_multi_byte_ = note(line, at, span, "", std::nullopt);
    }
    multi_byte_codes_ += codes;
}

void source_reader::finish() {
    if (failed()) {
        return;
    }
    if (multi_byte_codes_ != 0) {
        first_multi_byte_.message =
            "a code of more than one byte, and a map holds single bytes: left out";
        if (multi_byte_codes_ > 1) {
            first_multi_byte_.message +=
                ", with " + std::to_string(multi_byte_codes_ - 1) + " more multi-byte codes";
        }
        result.warnings.push_back(first_multi_byte_);
    }
    if (warnings_not_kept_ != 0) {
        result.warnings.emplace_back();
        result.warnings.back().column = 0;
        result.warnings.back().message =
            std::to_string(warnings_not_kept_) + " more warnings like these are not shown";
    }
}

namespace {

std::string clean_name_at(const loaded_table& loaded, std::size_t i) {
    std::string name = one_line(name_at(loaded, i));
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    // Read back, these would say something else: a Unicode mapping file's UNDEFINED marks
    // a byte without a character, and |0 after a charmap's bytes is a .ucm precision flag.
    if (name.starts_with("UNDEFINED") || name.starts_with('|')) {
        return {};
    }
    return name;
}

} // namespace

std::vector<written_entry> entries_to_write(const loaded_table& loaded, bool ascii) {
    std::vector<written_entry> entries;
    std::array<bool, 256> listed{};
    for (const std::size_t i : byte_order(loaded.table)) {
        const std::uint8_t byte = loaded.table.records[i][0];
        listed[byte] = true;
        entries.push_back({byte, code_at(loaded.table, i), clean_name_at(loaded, i), false});
    }
    std::vector<written_entry> added;
    for (std::uint8_t byte = 0; ascii && byte < 0x80; ++byte) {
        if (!listed[byte]) {
            added.push_back({byte, byte, std::string(char_name(byte)), true});
        }
    }
    // The table's own entries of 00 to 7F come before its higher bytes, and so do these.
    std::vector<written_entry> merged;
    std::merge(added.begin(), added.end(), entries.begin(), entries.end(),
               std::back_inserter(merged),
               [](const written_entry& a, const written_entry& b) { return a.byte < b.byte; });
    return merged;
}

std::string charset_word(std::string_view name) {
    std::string word;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        word += plain ? c : '_';
    }
    return word.empty() ? "unnamed" : word;
}

std::string one_line(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, ' ');
    return line;
}
