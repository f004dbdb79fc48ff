#include "table/dsc_reader.h"

#include "cli/status.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// --- Line pieces ----------------------------------------------------------------------
//
// DSC files come from DOS and Windows editors, so their text rules are applied here, the
// same on every platform: a CR LF pair is one line end whose CR does not count toward the
// piece's characters, a lone CR is an ordinary character, and Ctrl-Z ends the text.
// The file is read in large blocks, and a piece is a view into the block.

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 16;
// Line ends are found 64 bytes at a time, as a bit mask: large files are mostly short
// comment lines, and one search call per line would cost more than the rest of the work.
constexpr std::size_t CHUNK = 64;
static_assert(BLOCK_SIZE % CHUNK == 0, "a chunk never runs past the block");
// Bytes without a line end that surely hold a whole piece: a CR at the piece's last
// place may still pair with an LF after it.
constexpr std::size_t WINDOW = LINE_PIECE_MAX + 1;
constexpr char CTRL_Z = '\x1a';

struct dsc_block {
    std::size_t size = 0; // bytes held, from the start of bytes
    bool at_end = false;  // nothing more will come: end of file, Ctrl-Z or read error
    bool failed = false;  // the file reported a read error
    std::array<char, BLOCK_SIZE> bytes{};
};

// Moves the bytes not yet taken, from offset `from` on, to the front and reads more.
// Out of line: it runs once a block, and inlined it would crowd the per-line loop.
[[gnu::noinline]] void refill(dsc_block& block, std::size_t from, std::FILE* file) {
    std::memmove(block.bytes.data(), block.bytes.data() + from, block.size - from);
    block.size -= from;
    const std::size_t wanted = block.bytes.size() - block.size;
    char* fresh = block.bytes.data() + block.size;
    const std::size_t got = std::fread(fresh, 1, wanted, file);
    if (const void* ctrl_z = std::memchr(fresh, CTRL_Z, got)) {
        block.size += static_cast<std::size_t>(static_cast<const char*>(ctrl_z) - fresh);
        block.at_end = true;
        return;
    }
    block.size += got;
    if (got < wanted) {
        block.at_end = true;
        block.failed = std::ferror(file) != 0;
    }
}

// Bit i is set when bytes[i] is an LF.
std::uint64_t lf_mask(const char* bytes) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < CHUNK; i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const auto bits =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, lf)));
        mask |= std::uint64_t{bits} << i;
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < CHUNK; ++i) {
        mask |= std::uint64_t{bytes[i] == '\n'} << i;
    }
    return mask;
#endif
}

// Hands a line to take as pieces of at most LINE_PIECE_MAX characters. The CR of a
// closing CR LF pair does not count, so it is never parted from its LF. Out of line: the
// loop over the lines of a block is then short enough to stay in registers.
template <typename Take> [[gnu::noinline]] void take_long_line(std::string_view line, Take& take) {
    const bool crlf = line.ends_with("\r\n");
    while (line.size() - crlf > LINE_PIECE_MAX) {
        take(line.substr(0, LINE_PIECE_MAX));
        line.remove_prefix(LINE_PIECE_MAX);
    }
    take(line);
}

template <typename Take> void take_line(std::string_view line, Take& take) {
    if (line.size() > LINE_PIECE_MAX) {
        take_long_line(line, take);
    } else if (!line.empty()) {
        take(line);
    }
}

// Hands every complete piece of the block to take, in order, and returns how many bytes
// they held. A piece is complete when its line end is in the block, when it has its full
// length, or when it ends the text.
template <typename Take> std::size_t take_pieces(const dsc_block& block, Take& take) {
    const char* bytes = block.bytes.data();
    std::size_t line_start = 0;
    for (std::size_t chunk = 0; chunk < block.size; chunk += CHUNK) {
        std::uint64_t lfs = lf_mask(bytes + chunk);
        if (block.size - chunk < CHUNK) {
            lfs &= (std::uint64_t{1} << (block.size - chunk)) - 1;
        }
        for (; lfs != 0; lfs &= lfs - 1) {
            const std::size_t lf = chunk + static_cast<std::size_t>(std::countr_zero(lfs));
            take_line({bytes + line_start, lf + 1 - line_start}, take);
            line_start = lf + 1;
        }
    }
    std::string_view rest(bytes + line_start, block.size - line_start);
    if (block.at_end && !block.failed) {
        take_line(rest, take);
        return block.size;
    }
    for (; rest.size() >= WINDOW; rest.remove_prefix(LINE_PIECE_MAX)) {
        take(rest.substr(0, LINE_PIECE_MAX));
    }
    return block.size - rest.size();
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

// A line that is neither empty nor a comment; its fields start at `start`. Out of line,
// so that skipping comment lines needs no registers saved.
[[gnu::noinline]] map_record parse_data_line(std::string_view text, std::size_t start) {
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

// Most lines of a large file are empty or start with "//": both are told by one test,
// without a branch between them that would go either way at random. The piece is not empty.
bool plainly_skipped(std::string_view piece) {
    const char first = piece[0];
    const char second = piece.size() > 1 ? piece[1] : '\0';
    return ends_text(first) | ((first == '/') & (second == '/'));
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
    if (piece.empty() || plainly_skipped(piece)) {
        return std::nullopt;
    }
    const std::size_t start = skip_spaces(piece, 0);
    // Spaces are not text ends, so a comment is told before the text is cut.
    if (start + 1 < piece.size() && piece[start] == '/' && piece[start + 1] == '/') {
        return std::nullopt;
    }
    return parse_data_line(text_of(piece), start);
}

void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter) {
    // The reader keeps its own block: a stream buffer in between would split every read
    // into two calls and copy each byte twice.
    std::setvbuf(dsc_file, nullptr, _IONBF, 0);
    const auto take = [&](std::string_view piece) {
        ++line_counter;
        if (plainly_skipped(piece)) {
            return; // without the call
        }
        if (const std::optional<map_record> entry = parse_dsc_line(piece)) {
            append_entry(table, *entry);
        }
    };
    dsc_block block;
    for (std::size_t taken = 0; !block.at_end; taken = take_pieces(block, take)) {
        refill(block, taken, dsc_file);
    }
    if (block.failed) {
        // What the error cut short is not a line.
        raise_status(STATUS_READ_ERROR);
    }
    if (table.count == 0) {
        raise_status(STATUS_INVALID_DSC);
    }
}
