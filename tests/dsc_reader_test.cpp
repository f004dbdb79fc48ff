#include "mapmaker/first_fault.h"
#include "mapmaker/status.h"
#include "table/dsc_reader.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// --- One line ------------------------------------------------------------------------

enum class kind { entry, skipped, invalid };

struct line_case {
    std::string line;
    kind expected;
    std::uint8_t code = 0;
    std::uint16_t unicode = 0;
};

TEST(ParseDscLine, ClassifiesEveryKindOfLine) {
    const std::string tab = "\t";
    const std::vector<line_case> cases = {
        {"80, 0410 // Cyrillic capital letter A\n", kind::entry, 0x80, 0x0410},
        {"80,0410\n", kind::entry, 0x80, 0x0410},
        {"80 0410\n", kind::entry, 0x80, 0x0410},
        {"80,    0410 some text\n", kind::entry, 0x80, 0x0410},
        {"80, 0410/x\n", kind::entry, 0x80, 0x0410},
        {"180, 0410\n", kind::entry, 0x80, 0x0410},
        {"80, 0410abc\n", kind::entry, 0x80, 0x0abc},
        {"ad, 043d\n", kind::entry, 0xAD, 0x043D},
        {"AD, 043D", kind::entry, 0xAD, 0x043D},
        {"  80, 0410\n", kind::entry, 0x80, 0x0410},
        {"80, 0410\r\n", kind::entry, 0x80, 0x0410},
        {"80, 0410\rjunk\n", kind::entry, 0x80, 0x0410},
        {std::string("80, 0410\0junk\n", 14), kind::entry, 0x80, 0x0410},
        {"0, 0\n", kind::entry, 0x00, 0x0000},
        {"123456789ABCDEF0FE, 123456789ABCDEF0FFFF\n", kind::entry, 0xFE, 0xFFFF},
        {"7f,ffff//x\n", kind::entry, 0x7F, 0xFFFF},
        {"\n", kind::skipped},
        {"\r\n", kind::skipped},
        {"\rjunk\n", kind::skipped},
        {std::string("\0junk\n", 6), kind::skipped},
        {"//cp866 -> UNICODE\n", kind::skipped},
        {"  // note\n", kind::skipped},
        {"//", kind::skipped},
        {"  //", kind::skipped}, // a last line with no line end
        {"80 , 0410\n", kind::invalid},
        {"80\n", kind::invalid},
        {"80,\n", kind::invalid},
        {"80, \n", kind::invalid},
        {", 0410\n", kind::invalid},
        {"0x80, 0410\n", kind::invalid},
        {"80, 0x410\n", kind::invalid},
        {"80," + tab + "0410\n", kind::invalid},
        {"  80\n", kind::invalid},
        {"   \n", kind::invalid},
        {"   ", kind::invalid},
        {tab + "// note\n", kind::invalid},
        {"/ note\n", kind::invalid},
        {"/x/ note\n", kind::invalid},
        {"/", kind::invalid},
        {" /\r/\n", kind::invalid},
        {"-80, 0410\n", kind::invalid},
        {"80, +410\n", kind::invalid},
        {"\xC3\xA9"
         "0, 0410\n",
         kind::invalid},
        {"80, 04\xFF"
         "0\n",
         kind::invalid},
        {"80;0410\n", kind::invalid},
    };
    for (const line_case& c : cases) {
        SCOPED_TRACE("line: " + c.line);
        const dsc_line line = parse_dsc_line(c.line);
        switch (c.expected) {
        case kind::entry:
            ASSERT_EQ(line.kind, line_kind::entry);
            EXPECT_EQ(line.record, make_record(c.code, c.unicode));
            break;
        case kind::skipped:
            EXPECT_EQ(line.kind, line_kind::skipped);
            break;
        case kind::invalid:
            EXPECT_EQ(line.kind, line_kind::fault);
            break;
        }
    }
}

TEST(IsHexField, AcceptsOnlyHexDigits) {
    EXPECT_TRUE(is_hex_field(""));
    EXPECT_TRUE(is_hex_field("0123456789abcdefABCDEF"));
    for (const char* text : {"g", "0x1", " 1", "1 ", "-1", "\xB9", "G"}) {
        EXPECT_FALSE(is_hex_field(text)) << text;
    }
}

// --- Whole files -------------------------------------------------------------------------

struct read_result {
    status_code status = status_code::ok;
    std::uint64_t lines = 0;
    std::vector<map_record> entries;
};

read_result read_stream(std::FILE* file) {
    read_result result;
    code_table table;
    try {
        read_dsc(file, table, result.lines);
    } catch (const status_error& failure) {
        result.status = failure.code;
    }
    result.entries.assign(table.records.begin(), table.records.begin() + table.count);
    return result;
}

read_result read_bytes(const std::string& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(scratch_file(), std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        throw std::runtime_error("cannot make a scratch file");
    }
    std::rewind(file.get());
    return read_stream(file.get());
}

struct file_case {
    const char* name;
    std::string bytes;
    status_code status;
    std::uint64_t lines;
    std::size_t entries;
};

TEST(ReadDsc, CountsLinePiecesAndEntries) {
    const std::string line254 = "80, 0410 " + std::string(245, 'x'); // 254 characters
    const std::vector<file_case> cases = {
        {"empty file", "", status_code::invalid_dsc, 0, 0},
        {"comments and empty lines only", "// a\n\n  // b\n\n", status_code::invalid_dsc, 4, 0},
        {"last line without line end", "80, 0410\n81, 0411", status_code::ok, 2, 2},
        {"CR LF line ends", "//x\r\n80, 0410\r\n\r\n81, 0411\r\n", status_code::ok, 4, 2},
        {"a lone CR is no line end", "80, 0410\r81, 0411\n82, 0412\n", status_code::ok, 2, 2},
        {"CR CR LF", "80, 0410\r\r\n", status_code::ok, 1, 1},
        {"Ctrl-Z ends the text",
         "80, 0410\n\x1a"
         "garbage\n",
         status_code::ok, 1, 1},
        {"Ctrl-Z inside a line", "80, 0410\x1a\n", status_code::ok, 1, 1},
        {"Ctrl-Z first",
         "\x1a"
         "80, 0410\n",
         status_code::invalid_dsc, 0, 0},
        {"invalid line is counted", "// c\n\n80 0410\nbad\n81 0411\n", status_code::invalid_dsc, 4,
         1},
        {"spaces, then a slash that starts no comment", "80, 0410\n  x/\n",
         status_code::invalid_dsc, 2, 1},
        {"254 characters then LF make two pieces", line254 + "\n", status_code::ok, 2, 1},
        {"253 characters then CR LF make one piece", line254.substr(0, 253) + "\r\n",
         status_code::ok, 1, 1},
        {"254 characters then CR LF make two pieces", line254 + "\r\n", status_code::ok, 2, 1},
        {"255 characters make two pieces", line254 + "x\n", status_code::invalid_dsc, 2, 1},
        {"long trailing comment spills into a bad piece", "80, 0410 " + std::string(300, 'x'),
         status_code::invalid_dsc, 2, 1},
        {"long comment line spills into a bad piece", "//" + std::string(300, 'c') + "\n",
         status_code::invalid_dsc, 2, 0},
        {"spill that looks like a comment", line254 + "// more\n", status_code::ok, 2, 1},
        {"NUL counts toward the piece",
         std::string("80, 0410\0", 9) + std::string(245, 'x') + "81, 0411\n", status_code::ok, 2,
         2},
        {"256 entries", data_lines(256), status_code::ok, 256, 256},
        {"257 entries", data_lines(257), status_code::too_many_entries, 257, 256},
        {"invalid 257th line", data_lines(256) + "bad\n", status_code::invalid_dsc, 257, 256},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.name);
        const read_result result = read_bytes(c.bytes);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.lines, c.lines);
        EXPECT_EQ(result.entries.size(), c.entries);
    }
}

TEST(ReadDsc, KeepsEntriesInFileOrderWithRepeats) {
    const read_result result = read_bytes("81, 0411\n80, 0410\n81, 0411\n80, 0A0D\n");
    ASSERT_EQ(result.status, status_code::ok);
    const std::vector<map_record> expected = {make_record(0x81, 0x0411), make_record(0x80, 0x0410),
                                              make_record(0x81, 0x0411), make_record(0x80, 0x0A0D)};
    EXPECT_EQ(result.entries, expected);
}

// Lines of every length from 0 to 250, with both line ends, and long lines read as several
// pieces, so that block boundaries fall at every position within a line, a CR LF pair, a
// long line and a data line.
TEST(ReadDsc, LargeFileAcrossManyBlocks) {
    const std::string full_comment = "//" + std::string(252, 'c'); // 254 characters
    std::string text;
    std::uint64_t lines = 0;
    std::vector<map_record> expected;
    for (int i = 0; text.size() < 3'000'000; ++i) {
        const char* line_end = i % 2 ? "\r\n" : "\n";
        if (i % 977 == 0 && expected.size() < MAX_ENTRIES) {
            char line[32];
            std::snprintf(line, sizeof line, "  %X, %X // entry\n", i & 0xFF, i & 0xFFFF);
            text += line;
            expected.push_back(make_record(i & 0xFF, i & 0xFFFF));
            lines += 1;
        } else if (i % 101 == 50) {
            const int full_pieces = 1 + i % 3;
            for (int piece = 0; piece < full_pieces; ++piece) {
                text += full_comment;
            }
            text += "//tail";
            text += line_end;
            lines += full_pieces + 1;
        } else if (i % 101 == 70) {
            text += full_comment + line_end; // the line end makes a second, empty piece
            lines += 2;
        } else {
            const int length = i % 251;
            text += length == 0 ? "" : "//" + std::string(std::max(length - 2, 0), 'c');
            text += line_end;
            lines += 1;
        }
    }
    const read_result result = read_bytes(text);
    EXPECT_EQ(result.status, status_code::ok);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.entries, expected);
}

// A 253-character line closed by CR LF is one piece, and a 254-character one two, also
// where the file is read in two parts between the CR and the LF. The reader's block is
// 64 KiB; the lines are moved across that edge one byte at a time.
TEST(ReadDsc, CrLfAcrossTheBlockEdge) {
    const std::size_t edge = 1 << 16;
    for (std::size_t filler = edge - 260; filler <= edge + 2; ++filler) {
        std::string text(filler, '\n');                       // empty lines
        text += "80, 0410 " + std::string(244, 'x') + "\r\n"; // 253 characters
        text += "//" + std::string(252, 'c') + "\r\n";        // 254 characters
        const read_result result = read_bytes(text);
        ASSERT_EQ(result.status, status_code::ok) << filler;
        ASSERT_EQ(result.lines, filler + 1 + 2) << filler;
    }
}

// --- Plain lines counted rather than handed on ----------------------------------------

// What a reader sees of a file: each piece handed to take, and "" for each line counted
// to pass.
template <bool Marks> std::vector<std::string> pieces_of(const std::string& bytes, bool passing) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(scratch_file(), std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        throw std::runtime_error("cannot make a scratch file");
    }
    std::rewind(file.get());
    std::vector<std::string> seen;
    const auto pass = [&](std::uint64_t lines) {
        EXPECT_GT(lines, 0u);
        seen.insert(seen.end(), lines, "");
    };
    const auto take_marks = [&](std::string_view piece, piece_marks) { seen.emplace_back(piece); };
    const auto take_plain = [&](std::string_view piece) { seen.emplace_back(piece); };
    const auto block = std::make_unique<dsc_block>();
    if constexpr (Marks) {
        passing ? read_dsc_pieces(file.get(), *block, take_marks, pass)
                : read_dsc_pieces(file.get(), *block, take_marks);
    } else {
        passing ? read_dsc_pieces(file.get(), *block, take_plain, pass)
                : read_dsc_pieces(file.get(), *block, take_plain);
    }
    return seen;
}

// A line a reader never needs to see: a comment after any spaces, or one whose first byte
// ends its text; whole (its LF read), and short enough to be one piece.
bool plain_whole_line(std::string_view line) {
    if (!line.ends_with('\n') || line.size() > LINE_PIECE_MAX) {
        return false;
    }
    if (line[0] == '\n' || line[0] == '\r' || line[0] == '\0') {
        return true;
    }
    return line.substr(line.find_first_not_of(' ')).starts_with("//");
}

struct pass_case {
    const char* name;
    std::string bytes;
    std::size_t passed;       // lines counted for a take without marks (mapmaker's)
    std::size_t passed_marks; // and for one with marks (the checker's)
};

// The lines counted are plain ones, each in its place among the pieces; everything else is
// handed on as without counting. A line with a lone CR, or any in a block with a NUL, goes
// to a take that asks for marks; the first line of a block is always handed on.
TEST(ReadDscPieces, CountsPlainWholeLinesInTheirPlace) {
    std::string many;
    for (int i = 0; i < 40000; ++i) {
        many += i % 3 == 0 ? "// c\n" : i % 3 == 1 ? "\n" : "    // indented\r\n";
    }
    const std::vector<pass_case> cases = {
        {"each kind of plain line", "80, 0410\n// a\n\n\r\n   // b\n//\n  x\n80, 0411\n", 5, 5},
        {"the first line of the file is handed on", "// a\n// b\n", 1, 1},
        {"not plain: one slash, spaces only, text", "// a\n/ b\n   \n x //\n", 0, 0},
        {"a NUL first", std::string("// a\n\0b\n// c\n", 13), 2, 0},
        {"a lone CR", "// a\n// b\rc\n// d\n", 2, 1},
        {"a CR LF line", "// a\r\n\r\n// b\r\n", 2, 2},
        {"253 characters and the LF: one piece", "//\n//" + std::string(251, 'c') + "\n", 1, 1},
        {"254 characters and the LF: two pieces", "//\n//" + std::string(252, 'c') + "\n", 0, 0},
        {"a long comment, then a short one", "//\n//" + std::string(300, 'c') + "\n// e\n", 1, 1},
        {"no LF at the end", "// a\n// b", 0, 0},
    };
    for (const pass_case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto passed = [](const std::vector<std::string>& seen) {
            return static_cast<std::size_t>(std::count(seen.begin(), seen.end(), ""));
        };
        EXPECT_EQ(passed(pieces_of<false>(c.bytes, true)), c.passed);
        EXPECT_EQ(passed(pieces_of<true>(c.bytes, true)), c.passed_marks);
    }
    // Across many blocks, and at every kind of plain line: each line counted is one that
    // would have been handed on whole, in the same place.
    for (const std::string& bytes : {many, std::string(many).append(1, '\0')}) {
        for (const bool marks : {false, true}) {
            const std::vector<std::string> all =
                marks ? pieces_of<true>(bytes, false) : pieces_of<false>(bytes, false);
            const std::vector<std::string> seen =
                marks ? pieces_of<true>(bytes, true) : pieces_of<false>(bytes, true);
            ASSERT_EQ(seen.size(), all.size());
            std::size_t passed = 0;
            for (std::size_t i = 0; i < all.size(); ++i) {
                if (seen[i].empty()) {
                    ++passed;
                    ASSERT_TRUE(plain_whole_line(all[i])) << i;
                } else {
                    ASSERT_EQ(seen[i], all[i]) << i;
                }
            }
            // A block with a NUL hands every line to a take with marks.
            const bool nul = bytes.back() == '\0';
            EXPECT_GT(passed, marks && nul ? 0u : all.size() - 100) << marks << nul;
            if (marks && nul) {
                EXPECT_LT(passed, all.size() - 1000);
            }
        }
    }
}

// --- The chunk marks behind the loop ---------------------------------------------------

struct marked_text {
    std::vector<std::size_t> lfs, lone, quick; // offsets in the text
};

// The marks of a text, in one go through mark_chunks: the LFs and lone CRs of the chunks
// kept, the LFs of those left out as quick ones. Checks on the way that each kept chunk
// tells where the loop stands, and that the lines left out are counted. The bytes after
// the text, up to the last chunk's end and one more, are LFs, CRs and slashes that must
// never be marked.
marked_text marks_of(const std::string& text, dsc_detail::mark_request asked,
                     dsc_detail::mark_width width) {
    using namespace dsc_detail;
    std::string bytes = text;
    bytes.resize((text.size() + CHUNK - 1) / CHUNK * CHUNK + 1, '\n');
    for (std::size_t i = text.size() + 1; i < bytes.size(); i += 3) {
        bytes[i] = i % 2 == 0 ? '\r' : '/';
    }
    marked_text marked;
    std::size_t line_start = 0; // after the last LF before the chunk at `next`
    std::size_t next = 0;       // the first chunk not yet accounted for
    std::uint64_t counted = 0;  // quick lines told by the marks
    // The LFs of the chunks from `next` up to `to` were left out: quick lines.
    const auto left_out = [&](std::size_t to) {
        for (; next < to; ++next) {
            if (text[next] == '\n') {
                marked.quick.push_back(next);
                line_start = next + 1;
            }
        }
    };
    // Whether the text from line_start up to `to` (or its end) holds a lone CR.
    const auto lone_before = [&](std::size_t to) {
        for (std::size_t i = line_start; i < std::min(to, text.size()); ++i) {
            if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) {
                return true;
            }
        }
        return false;
    };
    mark_carry carry;
    std::array<chunk_marks, SEGMENT_CHUNKS> found;
    for (std::size_t from = 0; from < text.size(); from += SEGMENT_CHUNKS * CHUNK) {
        const std::size_t chunks =
            mark_chunks(bytes.data(), from, text.size(), asked, carry, found.data(), width);
        for (std::size_t at = 0; at < chunks; ++at) {
            const chunk_marks& m = found[at];
            const std::size_t quick_before = marked.quick.size();
            left_out(m.at);
            counted += m.quick_lines;
            EXPECT_EQ(counted, marked.quick.size()) << m.at;
            EXPECT_EQ(m.quick_lines, marked.quick.size() - quick_before) << m.at;
            EXPECT_EQ(m.line_start, line_start) << m.at;
            EXPECT_EQ(m.lone_before, asked.lone && lone_before(m.at)) << m.at;
            for (std::size_t bit = 0; bit < CHUNK; ++bit) {
                const std::size_t offset = m.at + bit;
                if ((m.lfs >> bit & 1) != 0) {
                    marked.lfs.push_back(offset);
                    line_start = offset + 1;
                }
                if ((m.lone >> bit & 1) != 0) {
                    marked.lone.push_back(offset);
                }
            }
            next = m.at + CHUNK;
        }
        left_out(std::min(text.size(), from + SEGMENT_CHUNKS * CHUNK));
        counted += std::exchange(carry.quick_lines, 0);
        EXPECT_EQ(counted, marked.quick.size()) << from;
        EXPECT_EQ(carry.line_start, line_start) << from;
        EXPECT_EQ(carry.lone_before, asked.lone && lone_before(next)) << from;
    }
    return marked;
}

// The same marks whichever way the bytes are compared.
marked_text marks_of(const std::string& text, dsc_detail::mark_request asked) {
    using dsc_detail::mark_width;
    const marked_text best = marks_of(text, asked, mark_width::best);
    for (const mark_width narrow : {mark_width::sse2, mark_width::bytes}) {
        const marked_text other = marks_of(text, asked, narrow);
        EXPECT_EQ(other.lfs, best.lfs);
        EXPECT_EQ(other.lone, best.lone);
        EXPECT_EQ(other.quick, best.quick);
    }
    return best;
}

struct marks_case {
    const char* name;
    std::string text;
    std::vector<std::size_t> quick; // the LFs of quick lines, in chunks left out
    std::vector<std::size_t> lone;  // lone CRs, in chunks kept
};

// A quick line is counted without a look, so each must be a plain whole line; the cases
// put its parts across the edges of the 64-byte chunks and of the 4 KiB that one call
// marks. A chunk is left out only when all the lines that end in it are quick.
TEST(MarkChunks, QuickLinesAndLoneCrsAcrossChunkEdges) {
    // A first line (never quick) whose LF is at byte 61 or 62, or 4094.
    const std::string to_62 = std::string(61, 'x') + "\n";
    const std::string to_63 = std::string(62, 'x') + "\n";
    const std::string to_4095 = std::string(4094, 'x') + "\n";
    const std::vector<marks_case> cases = {
        {"the text's first line is never quick", "// a\n\n", {}, {}},
        {"a line starting at a chunk's last byte", to_63 + "//x\n", {66}, {}},
        {"'/' at a chunk's end, '/' at the next's start", to_62 + " //\n", {65}, {}},
        {"'/' at a chunk's end, no '/' after it", to_63 + "/x\n", {}, {}},
        {"spaces running across a chunk", to_62 + std::string(70, ' ') + "//\n", {134}, {}},
        {"spaces across a chunk, then no comment", to_62 + std::string(70, ' ') + "x//\n", {}, {}},
        {"spaces only", to_62 + "   \n\n", {}, {}},
        {"CR at a chunk's end, LF at the next's start", to_63 + "\r\n\n", {64, 65}, {}},
        {"CR at a chunk's end, text after it", to_63 + "\rx\n\n", {}, {63}},
        {"a lone CR in a comment across a chunk",
         std::string(40, 'x') + "\n// \r" + std::string(60, 'c') + "\n",
         {},
         {44}},
        {"a line starting at a chunk's first byte", to_63 + "\n//\n", {66}, {}},
        {"a line crossing the 4 KiB that one call marks", to_4095 + "// comment\n", {4105}, {}},
        {"a line holding a whole chunk", "x\n//" + std::string(136, 'c') + "\n", {140}, {}},
        {"a long line is left to the loop", "x\n//" + std::string(251, 'c') + "\n//\n", {258}, {}},
        {"255 bytes", "x\n//" + std::string(252, 'c') + "\n//\n", {}, {}},
        {"a text of whole chunks", to_63 + "\n//" + std::string(61, 'c') + "\n", {127}, {}},
        {"a line ending the text", to_63 + "// a\n// b", {67}, {}},
        {"a CR ending the text", "x\n// a\n\r", {}, {7}},
        {"a lone CR before the text's last byte", "x\n// a\n\rx", {}, {7}},
        {"a CR ending the text after quick lines", to_63 + "// a\n\r", {67}, {}},
        {"a CR ending a text of whole chunks",
         to_63 + "x\n" + std::string(62, 'c') + "\r",
         {},
         {127}},
        {"a lone CR two chunks before its LF", "x\n// \r" + std::string(130, 'c') + "\n", {}, {5}},
    };
    for (const marks_case& c : cases) {
        SCOPED_TRACE(c.name);
        const marked_text lone = marks_of(c.text, {.quick = true, .lone = true});
        EXPECT_EQ(lone.quick, c.quick);
        EXPECT_EQ(lone.lone, c.lone);
        std::vector<std::size_t> lfs;
        std::vector<std::size_t> crs; // every lone CR
        for (std::size_t i = 0; i < c.text.size(); ++i) {
            if (c.text[i] == '\n') {
                lfs.push_back(i);
            }
            if (c.text[i] == '\r' && (i + 1 == c.text.size() || c.text[i + 1] != '\n')) {
                crs.push_back(i);
            }
        }
        const auto all_lfs = [](const marked_text& marked) {
            std::vector<std::size_t> all = marked.lfs;
            all.insert(all.end(), marked.quick.begin(), marked.quick.end());
            std::sort(all.begin(), all.end());
            return all;
        };
        EXPECT_EQ(all_lfs(lone), lfs);
        // Without lone CRs asked for, a line that holds one may be quick; no other changes.
        const marked_text any_cr = marks_of(c.text, {.quick = true, .lone = false});
        std::vector<std::size_t> quick = any_cr.quick;
        EXPECT_EQ(all_lfs(any_cr), lfs);
        std::size_t line_start = 0;
        for (const std::size_t lf : lfs) {
            const bool is_quick = std::find(quick.begin(), quick.end(), lf) != quick.end();
            const std::string_view line(c.text.data() + line_start, lf + 1 - line_start);
            EXPECT_TRUE(!is_quick || (line_start != 0 && plain_whole_line(line))) << lf;
            line_start = lf + 1;
        }
        std::erase_if(quick, [&](std::size_t lf) {
            return std::find(c.quick.begin(), c.quick.end(), lf) == c.quick.end();
        });
        EXPECT_EQ(quick, c.quick);
        // Without quick lines asked for, every chunk is kept, with every lone CR when asked.
        EXPECT_TRUE(marks_of(c.text, {.quick = false, .lone = false}).quick.empty());
        const marked_text every = marks_of(c.text, {.quick = false, .lone = true});
        EXPECT_TRUE(every.quick.empty());
        EXPECT_EQ(every.lone, crs);
    }
}

TEST(ReadDsc, DirectoryIsAReadError) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not open a folder as a file; the end-to-end tests check "
                    "what the tool says then";
#endif
    const temp_dir dir;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(dir.path().string().c_str(), "rb"), std::fclose);
    ASSERT_TRUE(file);
    code_table table;
    std::uint64_t lines = 0;
    try {
        read_dsc(file.get(), table, lines);
        FAIL() << "a directory was read";
    } catch (const status_error& failure) {
        EXPECT_EQ(failure.code, status_code::read_error);
    }
    EXPECT_EQ(lines, 0u);
}

// What a read error cut short must not be read as a line, while the lines and whole pieces
// completed before it are still checked.
TEST(ReadDsc, ReadErrorPartwayThrough) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "a failing stream is made with glibc's fopencookie";
#else
    const std::vector<file_case> cases = {
        {"half-read line", "80, 0410\n81, 04", status_code::read_error, 1, 1},
        {"bad line before the error", "80 , 0410\n81, 04", status_code::invalid_dsc, 1, 0},
        {"error before any byte", "", status_code::read_error, 0, 0},
        // 255 bytes hold a whole piece of 254 and a byte that is no LF after it.
        {"a whole piece before the error", "80, 0410 " + std::string(246, 'c'),
         status_code::read_error, 1, 1},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.name);
        failing_source source{c.bytes};
        const auto file = failing_stream(source);
        ASSERT_TRUE(file);
        const read_result result = read_stream(file.get());
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.lines, c.lines);
        EXPECT_EQ(result.entries.size(), c.entries);
    }
#endif
}

} // namespace
