#include "table/dsc_reader.h"

#include <algorithm>
#include <cstring>

std::size_t read_input(dsc_input& in, char* to, std::size_t wanted) {
    if (in.file != nullptr) {
        return std::fread(to, 1, wanted, in.file);
    }
    const std::size_t got = std::min(wanted, in.memory.size());
    if (got != 0) { // an empty view may have no bytes at all to copy from
        std::memcpy(to, in.memory.data(), got);
    }
    in.memory.remove_prefix(got);
    return got;
}

bool input_failed(const dsc_input& in) {
    return in.file != nullptr && std::ferror(in.file) != 0;
}

void refill(dsc_block& block, std::size_t from, dsc_input& in) {
    std::memmove(block.bytes.data(), block.bytes.data() + from, block.size - from);
    block.size -= from;
    const std::size_t wanted = DSC_BLOCK_SIZE - block.size;
    char* fresh = block.bytes.data() + block.size;
    const std::size_t got = read_input(in, fresh, wanted);
    if (const void* ctrl_z = std::memchr(fresh, CTRL_Z, got)) {
        const auto text = static_cast<std::size_t>(static_cast<const char*>(ctrl_z) - fresh);
        block.size += text;
        block.read_beyond = got - text - 1;
        block.ctrl_z = true;
        block.at_end = true;
        return;
    }
    block.size += got;
    if (got < wanted) {
        block.at_end = true;
        block.failed = input_failed(in);
    }
}

namespace {

// Bytes above 0x7F and every locale's extra digits are not hexadecimal digits here.
int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Accumulated in 32 bits, so an overlong field wraps and its low bits are always those of
// its last digits.
std::uint32_t hex_value(std::string_view field) {
    std::uint32_t value = 0;
    for (const char c : field) {
        value = (value << 4) | static_cast<std::uint32_t>(hex_digit_value(c));
    }
    return value;
}

// The position of the first character from `from` on that is not a space, or the size.
std::size_t skip_spaces(std::string_view text, std::size_t from) {
    while (from < text.size() && text[from] == ' ') {
        ++from;
    }
    return from;
}

std::size_t text_length(std::string_view piece) {
    std::size_t length = 0;
    while (length < piece.size() && piece[length] != '\0' && piece[length] != '\r' &&
           piece[length] != '\n') {
        ++length;
    }
    return length;
}

dsc_line fault_at(dsc_line line, line_fault fault) {
    line.kind = line_kind::fault;
    line.fault = fault;
    return line;
}

// A line that is neither empty nor a comment; its fields start at `start`. Out of line,
// so that skipping comment lines needs no registers saved.
[[gnu::noinline]] dsc_line parse_data_line(std::string_view piece, std::size_t start) {
    dsc_line line;
    line.text_end = text_length(piece);
    const std::string_view text = piece.substr(0, line.text_end);
    line.first_start = start;
    line.first_end = std::min(start, text.size());
    const std::size_t separator = text.find_first_of(", ", start);
    if (separator == std::string_view::npos) {
        line.first_end = text.size();
        return fault_at(line, line_fault::no_separator);
    }
    line.first_end = separator;
    const std::string_view first = text.substr(start, separator - start);
    if (first.empty()) {
        return fault_at(line, line_fault::first_field_empty);
    }
    if (!is_hex_field(first)) {
        return fault_at(line, line_fault::first_field_bad);
    }
    line.second_start = skip_spaces(text, separator + 1);
    line.second_end = std::min(text.find_first_of(" /", line.second_start), text.size());
    const std::string_view second =
        text.substr(line.second_start, line.second_end - line.second_start);
    if (second.empty()) {
        return fault_at(line, line_fault::second_field_empty);
    }
    if (!is_hex_field(second)) {
        return fault_at(line, line_fault::second_field_bad);
    }
    line.kind = line_kind::entry;
    line.record = make_record(static_cast<std::uint8_t>(hex_value(first)),
                              static_cast<std::uint16_t>(hex_value(second)));
    return line;
}

} // namespace

bool is_hex_field(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return hex_digit_value(c) >= 0; });
}

std::string_view trim_spaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view entry_comment(std::string_view piece, const dsc_line& parsed) {
    std::string_view comment =
        trim_spaces(piece.substr(parsed.second_end, parsed.text_end - parsed.second_end));
    if (comment.starts_with("//")) {
        comment = trim_spaces(comment.substr(2));
    }
    return comment;
}

dsc_line parse_dsc_line(std::string_view piece) {
    if (piece.empty() || plainly_skipped(piece)) {
        return {};
    }
    const std::size_t start = skip_spaces(piece, 0);
    // Spaces are not text ends, so a comment is told before the text is cut.
    if (start + 1 < piece.size() && piece[start] == '/' && piece[start + 1] == '/') {
        return {};
    }
    return parse_data_line(piece, start);
}

piece_facts facts_of(std::string_view piece) {
    piece_facts facts;
    facts.ends_line = piece.ends_with('\n');
    const std::size_t end = text_length(piece);
    if (end < piece.size() && piece[end] == '\0') {
        facts.nul = end;
    }
    // A CR that only comes before the line end hides nothing.
    const std::size_t cr = piece.find('\r');
    if (cr != std::string_view::npos &&
        piece.find_first_not_of("\r\n", cr) != std::string_view::npos) {
        facts.lone_cr = cr;
    }
    return facts;
}
