// Cutting a DSC file into line pieces: the one reading loop behind every reader of DSC files.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "table/dsc_marks.h"

// A line is read in pieces of at most this many characters; a longer line gives several.
constexpr std::size_t LINE_PIECE_MAX = 254;

// DSC files come from DOS and Windows editors, so their text rules are applied here, the
// same on every platform: a CR LF pair is one line end whose CR does not count toward the
// piece's characters, a lone CR is an ordinary character, and Ctrl-Z ends the text.
// The file is read in large blocks, and a piece is a view into the block.

constexpr std::size_t DSC_BLOCK_SIZE = std::size_t{1} << 16;
constexpr char CTRL_Z = '\x1a';

struct dsc_block {
    std::size_t size = 0;        // bytes of text held, from the start of bytes
    bool at_end = false;         // nothing more will come: end of file, Ctrl-Z or read error
    bool failed = false;         // the file reported a read error
    bool ctrl_z = false;         // the text ended at a Ctrl-Z byte, at bytes[size]
    std::size_t read_beyond = 0; // bytes read after that Ctrl-Z, from bytes[size + 1] on
    // The text, and a chunk more that the marks may read past its end.
    std::array<char, DSC_BLOCK_SIZE + dsc_detail::CHUNK> bytes{};
};

enum class dsc_text_end : std::uint8_t { end_of_file, ctrl_z, read_error };

// Where a DSC text is read from: an open file, or bytes already in memory (an editor's
// buffer, which has no file), read through the same loop.
struct dsc_input {
    std::FILE* file = nullptr;
    std::string_view memory; // without a file: the bytes not read yet
};

// Reads up to `wanted` bytes into `to`; fewer only at the end of the text or on an error.
std::size_t read_input(dsc_input& in, char* to, std::size_t wanted);
// Whether the file reported a read error; never for memory.
bool input_failed(const dsc_input& in);

// Moves the bytes not yet taken, from offset `from` on, to the front and reads more.
void refill(dsc_block& block, std::size_t from, dsc_input& in);
inline void refill(dsc_block& block, std::size_t from, std::FILE* file) {
    dsc_input in{file, {}};
    refill(block, from, in);
}

// The bytes that were read after the Ctrl-Z that ended the text; the file goes on after them.
inline std::string_view bytes_after_ctrl_z(const dsc_block& block) {
    return block.ctrl_z ? std::string_view(block.bytes.data() + block.size + 1, block.read_beyond)
                        : std::string_view();
}

namespace dsc_detail {

static_assert(DSC_BLOCK_SIZE % CHUNK == 0, "a chunk never runs past the block");
// Bytes without a line end that surely hold a whole piece: a CR at the piece's last
// place may still pair with an LF after it.
constexpr std::size_t WINDOW = LINE_PIECE_MAX + 1;

} // namespace dsc_detail

// What the reading loop found beside a piece, for a reader that asks: whether its line
// holds a lone CR (one that no LF follows), and whether its block holds a NUL.
struct piece_marks {
    bool lone_cr = false;
    bool nul_in_block = false;
};

namespace dsc_detail {

// Whether take wants the marks of each piece.
template <typename Take>
constexpr bool wants_marks = std::is_invocable_v<Take&, std::string_view, piece_marks>;

template <typename Take> void take_piece(std::string_view piece, piece_marks marks, Take& take) {
    if constexpr (wants_marks<Take>) {
        take(piece, marks);
    } else {
        take(piece);
    }
}

// Hands a line to take as pieces of at most LINE_PIECE_MAX characters. The CR of a
// closing CR LF pair does not count, so it is never parted from its LF. Out of line: the
// loop over the lines of a block is then short enough to stay in registers.
template <typename Take>
[[gnu::noinline]] void take_long_line(std::string_view line, piece_marks marks, Take& take) {
    const bool crlf = line.ends_with("\r\n");
    while (line.size() - crlf > LINE_PIECE_MAX) {
        take_piece(line.substr(0, LINE_PIECE_MAX), marks, take);
        line.remove_prefix(LINE_PIECE_MAX);
    }
    take_piece(line, marks, take);
}

template <typename Take> void take_line(std::string_view line, piece_marks marks, Take& take) {
    if (line.size() > LINE_PIECE_MAX) {
        take_long_line(line, marks, take);
    } else if (!line.empty()) {
        take_piece(line, marks, take);
    }
}

// A reader that counts plain lines rather than reads them passes no `pass`, or this.
struct no_pass {
    void operator()(std::uint64_t) const {}
};
template <typename Pass>
constexpr bool passes = !std::is_same_v<std::remove_cvref_t<Pass>, no_pass>;

// A whole line, its LF within the block, that holds nothing to read: a line whose first
// byte ends its text (an LF, a CR or a NUL), or a comment after any spaces. A byte that
// ends no text has another after it within the block (the line's LF at the latest), so
// nothing here reads past the block, whose line may start at its very last byte.
inline bool plain_line(const char* line) {
    if (line[0] == '/') { // the most common line first
        return line[1] == '/';
    }
    if ((line[0] == '\n') | (line[0] == '\r') | (line[0] == '\0')) {
        return true;
    }
    while (*line == ' ') { // the LF ends this
        ++line;
    }
    return line[0] == '/' && line[1] == '/';
}

// Hands every complete piece of the block to take, in order, and returns how many bytes
// they held. A piece is complete when its line end is in the block, when it has its full
// length, or when it ends the text.
//
// A take that asks for them also gets the piece's marks. Its line's lone CRs are found in
// the pass that finds the line ends, in a block that has a CR at all: hand-edited tables
// have one on every line, and a second search for them cost as much as the first.
//
// With a pass, the plain lines (see plain_line) that begin after an LF of the block and
// make one piece are counted to pass(count) instead, in their place among the pieces:
// most lines of a large file are such, and a call each, with the tests a take makes, cost
// more than finding them. A line with a lone CR, or in a block with a NUL for a take that
// asks for marks, still goes to take. Most are counted by the chunk marks (quick lines,
// see chunk_marks), which leave out the chunks whose every line is quick; the lines of the
// chunks they keep are tested one by one.
template <bool Crs, typename Take, typename Pass>
std::size_t take_pieces_of(const dsc_block& block, piece_marks marks, Take& take, Pass& pass) {
    const char* bytes = block.bytes.data();
    std::size_t line_start = 0;
    bool lone_cr = false;    // the current line has a lone CR before this chunk
    std::uint64_t plain = 0; // plain lines counted, not yet told to pass
    const bool passing = passes<Pass> && !marks.nul_in_block;
    const auto tell_plain = [&] {
        if (plain != 0) {
            pass(plain);
            plain = 0;
        }
    };
    mark_carry carry;
    std::array<chunk_marks, SEGMENT_CHUNKS> found;
    for (std::size_t segment = 0; segment < block.size; segment += SEGMENT_CHUNKS * CHUNK) {
        const std::size_t chunks = mark_chunks(
            bytes, segment, block.size, {.quick = passing, .lone = Crs}, carry, found.data());
        for (std::size_t at = 0; at < chunks; ++at) {
            const chunk_marks& chunk = found[at];
            plain += chunk.quick_lines;
            line_start = chunk.line_start;
            std::uint64_t lone = chunk.lone;
            if constexpr (Crs) {
                lone_cr = chunk.lone_before;
            }
            for (std::uint64_t lfs = chunk.lfs; lfs != 0; lfs &= lfs - 1) {
                const auto bit = static_cast<std::size_t>(std::countr_zero(lfs));
                const std::size_t lf = chunk.at + bit;
                if constexpr (Crs) {
                    const std::uint64_t up_to_lf = (std::uint64_t{2} << bit) - 1; // all for bit 63
                    marks.lone_cr = lone_cr || (lone & up_to_lf) != 0;
                    lone &= ~up_to_lf;
                    lone_cr = false;
                }
                if constexpr (passes<Pass>) {
                    if (passing && line_start != 0 && lf + 1 - line_start <= LINE_PIECE_MAX &&
                        !marks.lone_cr && plain_line(bytes + line_start)) {
                        ++plain;
                        line_start = lf + 1;
                        continue;
                    }
                    tell_plain();
                }
                take_line({bytes + line_start, lf + 1 - line_start}, marks, take);
                line_start = lf + 1;
            }
        }
        // The chunks after the last one marked: their lines counted, where they leave off.
        plain += std::exchange(carry.quick_lines, 0);
        line_start = carry.line_start;
        lone_cr = carry.lone_before;
    }
    tell_plain();
    marks.lone_cr = lone_cr;
    std::string_view rest(bytes + line_start, block.size - line_start);
    if (block.at_end && !block.failed) {
        take_line(rest, marks, take);
        return block.size;
    }
    for (; rest.size() >= WINDOW; rest.remove_prefix(LINE_PIECE_MAX)) {
        take_piece(rest.substr(0, LINE_PIECE_MAX), marks, take);
    }
    return block.size - rest.size();
}

template <typename Take, typename Pass>
std::size_t take_pieces(const dsc_block& block, Take& take, Pass& pass) {
    if constexpr (wants_marks<Take>) {
        // Most blocks have no CR or no NUL at all, which one search each tells.
        const piece_marks marks{.lone_cr = false,
                                .nul_in_block =
                                    std::memchr(block.bytes.data(), '\0', block.size) != nullptr};
        if (std::memchr(block.bytes.data(), '\r', block.size) != nullptr) {
            return take_pieces_of<true>(block, marks, take, pass);
        }
        return take_pieces_of<false>(block, marks, take, pass);
    }
    return take_pieces_of<false>(block, piece_marks{}, take, pass);
}

template <typename Take> std::size_t take_pieces(const dsc_block& block, Take& take) {
    no_pass pass;
    return take_pieces(block, take, pass);
}

} // namespace dsc_detail

// Reads the file to the end of its text and hands each line piece, line end included, to
// take(std::string_view), or take(std::string_view, piece_marks) (see take_pieces), in
// order; with pass, plain whole lines may be counted to pass(std::uint64_t) instead (see
// take_pieces_of). What a read error cuts short is not handed on; the
// pieces completed before it are. A take that throws stops the reading.
template <typename Take, typename Pass>
dsc_text_end read_dsc_pieces(dsc_input& in, dsc_block& block, Take&& take, Pass&& pass) {
    // The reader keeps its own block: a stream buffer in between would split every read
    // into two calls and copy each byte twice.
    if (in.file != nullptr) {
        std::setvbuf(in.file, nullptr, _IONBF, 0);
    }
    for (std::size_t taken = 0; !block.at_end; taken = dsc_detail::take_pieces(block, take, pass)) {
        refill(block, taken, in);
    }
    if (block.failed) {
        return dsc_text_end::read_error;
    }
    return block.ctrl_z ? dsc_text_end::ctrl_z : dsc_text_end::end_of_file;
}

template <typename Take>
dsc_text_end read_dsc_pieces(dsc_input& in, dsc_block& block, Take&& take) {
    return read_dsc_pieces(in, block, take, dsc_detail::no_pass{});
}

template <typename Take, typename Pass>
dsc_text_end read_dsc_pieces(std::FILE* file, dsc_block& block, Take&& take, Pass&& pass) {
    dsc_input in{file, {}};
    return read_dsc_pieces(in, block, take, pass);
}

template <typename Take>
dsc_text_end read_dsc_pieces(std::FILE* file, dsc_block& block, Take&& take) {
    dsc_input in{file, {}};
    return read_dsc_pieces(in, block, take, dsc_detail::no_pass{});
}
