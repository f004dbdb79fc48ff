// The bit masks behind the reading loop of DSC files: line ends, lone CRs and plain lines,
// 64 bytes to a mask, made a few kilobytes at a time outside the loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dsc_detail {

// Bytes to a mask: large files are mostly short comment lines, and a search call or a
// branch per line would cost more than the rest of the work.
constexpr std::size_t CHUNK = 64;
// Chunks marked by one call: their marks stay in the first-level cache until the loop
// reads them, and the call costs little beside them.
constexpr std::size_t SEGMENT_CHUNKS = 64;

// A chunk whose lines are not all quick ones (below), for the reading loop to look at line by
// line. The chunks between are left out, their lines counted; so a large file of comment
// lines costs a few operations a chunk and no branch that goes either way at random.
//
// A quick line starts after an LF of the text, is at most LINE_PIECE_MAX bytes with its LF,
// holds no lone CR (when asked for), and its first byte is an LF or a CR, or its first byte
// after any spaces starts "//". Each is a plain line, so may be counted without a look.
struct chunk_marks {
    std::size_t at = 0;     // the chunk's offset in the text
    std::uint64_t lfs = 0;  // bit i: an LF at the chunk's byte i, within the text
    std::uint64_t lone = 0; // a CR that no LF follows, when asked for
    // Where the loop stands at the chunk's start, the chunks left out before it counted:
    std::uint64_t quick_lines = 0; // the quick lines left out since the last chunk marked
    std::size_t line_start = 0;    // where the line running into the chunk starts: after
                                   // the text's last LF before it, or 0
    bool lone_before = false;      // whether that line has a lone CR before the chunk
};

// What the marks of one chunk leave to the next, and where the loop stands after the last
// chunk marked, with the quick lines of the chunks left out after it.
struct mark_carry {
    std::uint64_t line_starts = 0; // 1: the chunk ended with an LF
    std::uint64_t spaces = 0;      // 1: a line's leading spaces ran to the chunk's end
    std::uint64_t no_lf = 0;       // 1: the chunk had no LF
    // 1: the line that runs on is no quick one; so is the line a text starts with, which
    // may be the end of a line read before.
    std::uint64_t not_quick = 1;
    std::uint64_t quick_lines = 0; // for the reader to take
    std::size_t line_start = 0;
    bool lone_before = false;
};

struct mark_request {
    bool quick = false; // mark quick lines
    bool lone = false;  // mark lone CRs, and quick lines only without them
};

// How the bytes are compared: 32 at a time with AVX2 where the processor has it, else 16
// with SSE2 (x86) or one at a time; the narrower ways are there for the tests to compare.
enum class mark_width : std::uint8_t { best, sse2, bytes };

// Marks the chunks of the text bytes[0, size) from `from` on (a multiple of CHUNK), at most
// SEGMENT_CHUNKS of them: those the reader must look at go to `out`, and their number is
// returned; with quick lines not asked for, that is every chunk. Reads no byte at or past
// `size` but those of the last chunk's 64 and the one after them, which must be readable;
// its bits past `size` are clear. A text is marked from 0 on with a fresh carry.
std::size_t mark_chunks(const char* bytes, std::size_t from, std::size_t size, mark_request asked,
                        mark_carry& carry, chunk_marks* out, mark_width width = mark_width::best);

} // namespace dsc_detail
