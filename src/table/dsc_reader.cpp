#include "table/dsc_reader.h"

#include "cli/status.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// --- Line pieces ----------------------------------------------------------------------
//
// DSC files come from DOS and Windows editors, so their text rules are applied here, the
// same on every platform: a CR LF pair is one line end whose CR does not count toward the
// piece's characters, a lone CR is an ordinary character, and Ctrl-Z ends the text.
// The file is read in large blocks; a piece is a view into the block.

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 16;
// One byte past the piece's limit must be in view: a CR there may pair with an LF.
constexpr std::size_t WINDOW = LINE_PIECE_MAX + 1;
constexpr char CTRL_Z = '\x1a';

struct dsc_stream {
    explicit dsc_stream(std::FILE* dsc_file) : file(dsc_file) {}

    std::FILE* file;
    std::size_t begin = 0; // first unread byte in block
    std::size_t end = 0;   // one past the last byte read into block
    bool at_end = false;   // nothing more will come: end of file, Ctrl-Z or read error
    bool failed = false;   // the file reported a read error
    std::array<char, BLOCK_SIZE> block;
};

void refill(dsc_stream& s) {
    std::memmove(s.block.data(), s.block.data() + s.begin, s.end - s.begin);
    s.end -= s.begin;
    s.begin = 0;
    const std::size_t wanted = s.block.size() - s.end;
    const std::size_t got = std::fread(s.block.data() + s.end, 1, wanted, s.file);
    if (const void* ctrl_z = std::memchr(s.block.data() + s.end, CTRL_Z, got)) {
        s.end = static_cast<std::size_t>(static_cast<const char*>(ctrl_z) - s.block.data());
        s.at_end = true;
        return;
    }
    s.end += got;
    if (got < wanted) {
        s.at_end = true;
        s.failed = std::ferror(s.file) != 0;
    }
}

// The next piece: bytes up to and including the next LF, but never more than
// LINE_PIECE_MAX characters. Empty at the end of the text.
std::string_view next_piece(dsc_stream& s) {
    if (s.end - s.begin < WINDOW && !s.at_end) {
        refill(s);
    }
    const char* piece = s.block.data() + s.begin;
    const std::size_t available = s.end - s.begin;
    std::size_t length = std::min(available, LINE_PIECE_MAX);
    if (const void* lf = std::memchr(piece, '\n', std::min(available, WINDOW))) {
        const auto through_lf = static_cast<std::size_t>(static_cast<const char*>(lf) - piece) + 1;
        const bool crlf = through_lf >= 2 && piece[through_lf - 2] == '\r';
        length = through_lf - crlf <= LINE_PIECE_MAX ? through_lf : LINE_PIECE_MAX;
    } else if (s.failed && available < WINDOW) {
        // The error struck before this piece was complete.
        raise_status(STATUS_READ_ERROR);
    }
    s.begin += length;
    return {piece, length};
}

// --- Fields ---------------------------------------------------------------------------

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

bool is_number_field(std::string_view field) {
    return !field.empty() && is_hex_field(field);
}

// The position of the first character from `from` on that is not a space, or the size.
std::size_t skip_spaces(std::string_view text, std::size_t from) {
    while (from < text.size() && text[from] == ' ') {
        ++from;
    }
    return from;
}

bool ends_text(char c) {
    return c == '\0' || c == '\r' || c == '\n';
}

// A piece's text ends at its first CR, LF or NUL.
std::string_view text_of(std::string_view piece) {
    std::size_t length = 0;
    while (length < piece.size() && !ends_text(piece[length])) {
        ++length;
    }
    return piece.substr(0, length);
}

// A line that is neither empty nor a comment; its fields start at `start`.
map_record parse_data_line(std::string_view text, std::size_t start) {
    const std::size_t separator = text.find_first_of(", ", start);
    if (separator == std::string_view::npos) {
        raise_status(STATUS_INVALID_DSC);
    }
    const std::string_view first = text.substr(start, separator - start);
    if (!is_number_field(first)) {
        raise_status(STATUS_INVALID_DSC);
    }
    std::string_view second = text.substr(skip_spaces(text, separator + 1));
    second = second.substr(0, second.find_first_of(" /"));
    if (!is_number_field(second)) {
        raise_status(STATUS_INVALID_DSC);
    }
    return make_record(static_cast<std::uint8_t>(hex_value(first)),
                       static_cast<std::uint16_t>(hex_value(second)));
}

void append_entry(code_table& table, const map_record& record) {
    if (table.count == MAX_ENTRIES) {
        raise_status(STATUS_TOO_MANY_ENTRIES);
    }
    table.records[table.count++] = record;
}

} // namespace

bool is_hex_field(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return hex_digit_value(c) >= 0; });
}

std::optional<map_record> parse_dsc_line(std::string_view piece) {
    if (piece.empty() || ends_text(piece[0])) {
        return std::nullopt;
    }
    const std::size_t start = skip_spaces(piece, 0);
    // Spaces are not text ends, so a comment is told before the text is cut: comment lines,
    // most of a large file, are never scanned to their end.
    if (start + 1 < piece.size() && piece[start] == '/' && piece[start + 1] == '/') {
        return std::nullopt;
    }
    return parse_data_line(text_of(piece), start);
}

void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter) {
    dsc_stream stream(dsc_file);
    for (std::string_view piece = next_piece(stream); !piece.empty(); piece = next_piece(stream)) {
        ++line_counter;
        if (const std::optional<map_record> entry = parse_dsc_line(piece)) {
            append_entry(table, *entry);
        }
    }
    if (table.count == 0) {
        raise_status(STATUS_INVALID_DSC);
    }
}
