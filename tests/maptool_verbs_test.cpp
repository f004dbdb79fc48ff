// maptool dump, diff and import: map files read back and rejected, tables compared, and
// DSC files made from the standard mapping forms, each checked by what the programs print,
// write and exit with.

#include "engine/line_reader.h"
#include "engine/mapping_sources.h"
#include "engine/visible.h"
#include "run_program.h"
#include "table/map_reader.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>
#include <zlib.h>

#if defined(MAPTOOL_ICONV)
#include <iconv.h>
#elif defined(MAPTOOL_CODE_PAGES)
#include "platform/code_pages.h"
#endif
#include <sstream>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

using run_result = program_result;

// Runs a program in dir with the words of `arguments` after its name; text comes back in
// LF lines.
run_result run_words(const char* program, const temp_dir& dir, const std::string& arguments,
                     const std::string& input = "", input_kind kind = input_kind::file) {
    std::vector<std::string> args = {fs::path(program).stem().string()};
    std::istringstream words(arguments);
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    program_result result = run_program(program, dir.path(), args, input, kind);
    result.out = from_text_mode(result.out);
    result.err = from_text_mode(result.err);
    return result;
}

run_result maptool(const temp_dir& dir, const std::string& arguments, const std::string& input = "",
                   input_kind kind = input_kind::file) {
    return run_words(MAPTOOL_PATH, dir, arguments, input, kind);
}

run_result mapmaker(const temp_dir& dir, const std::string& arguments) {
    return run_words(MAPMAKER_PATH, dir, arguments);
}

// A map file of the given (byte, code) entries.
std::string map_of(const std::vector<std::pair<int, int>>& entries) {
    std::string bytes{static_cast<char>(entries.size() >> 8), static_cast<char>(entries.size())};
    for (const auto& [byte, code] : entries) {
        bytes += {static_cast<char>(byte), static_cast<char>(code >> 8), static_cast<char>(code)};
    }
    return bytes;
}

// " // NAME" as the verbs write it after an entry, in a build with names.
std::string named(const std::string& name) {
    return names_available() ? " // " + name : "";
}

// --- maptool dump ------------------------------------------------------------------------

struct bad_map_case {
    std::string bytes;
    map_fault fault;
    std::string message;
};

TEST(Dump, RejectsEachKindOfBadMapWithNothingOnStandardOutput) {
    const std::string record("\x80\x04\x10", 3);
    const std::vector<bad_map_case> cases = {
        {"", map_fault::too_short, "0 bytes, fewer than the 2 bytes of the entry count"},
        {std::string(1, '\0'), map_fault::too_short,
         "1 byte, fewer than the 2 bytes of the entry count"},
        {std::string(2, '\0') + record, map_fault::count_zero,
         "the entry count is 0; a map holds 1 to 256 entries"},
        {"\x01\x01" + record, map_fault::count_too_large,
         "the entry count is 257; a map holds 1 to 256 entries"},
        {std::string("\x00\x02", 2) + record + "\x81\x04", map_fault::size_mismatch,
         "7 bytes, but an entry count of 2 needs 8 bytes (2 + 3 x 2)"},
        {std::string("\x00\x01", 2) + record + "x", map_fault::size_mismatch,
         "6 bytes, but an entry count of 1 needs 5 bytes (2 + 3 x 1)"},
        {std::string("\x00\x01", 2) + std::string(998, 'x'), map_fault::size_mismatch,
         "1000 bytes, but an entry count of 1 needs 5 bytes (2 + 3 x 1)"},
    };
    const temp_dir dir;
    for (const bad_map_case& c : cases) {
        SCOPED_TRACE(c.message);
        const map_reading parsed =
            parse_map({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        EXPECT_EQ(parsed.fault, c.fault);
        EXPECT_EQ(parsed.size, c.bytes.size());
        write_file(dir / "x.map", c.bytes);
        const run_result result = maptool(dir, "dump x.map");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        // An empty file is also a DSC file without entries; anything else is no table, and
        // the note says why it is no map.
        EXPECT_TRUE(result.err.find(c.bytes.empty() ? "x.map: error: no entry"
                                                    : "x.map:1:1: error: not a table: ") == 0)
            << result.err;
        if (!c.bytes.empty()) {
            EXPECT_NE(result.err.find("x.map: note: not a map file: " + c.message + "\n"),
                      std::string::npos)
                << result.err;
        }
    }
    fs::create_directory(dir / "folder.map");
    const run_result folder = maptool(dir, "dump folder.map");
    EXPECT_EQ(folder.status, 2);
#if defined(_WIN32)
    // Windows does not open a folder as a file.
    EXPECT_TRUE(folder.err.starts_with("folder.map: error: cannot open the file: ")) << folder.err;
#else
    EXPECT_EQ(folder.err, "folder.map: error: cannot read the file: Is a directory\n");
#endif
}

TEST(Dump, WritesTheBundledFormatInTheMapsOrder) {
    const temp_dir dir;
    write_file(dir / "small.map", map_of({{0x80, 0x0410}, {0x0A, 0x0080}, {0x80, 0x0410}}));
    const std::string entries = "80, 0410" + named("CYRILLIC CAPITAL LETTER A") + "\n0A, 0080" +
                                named("<control-0080>") + "\n80, 0410" +
                                named("CYRILLIC CAPITAL LETTER A") + "\n";
    EXPECT_EQ(maptool(dir, "dump small.map").out, "//small -> UNICODE\n" + entries);
    EXPECT_EQ(maptool(dir, "dump --no-names -", read_file(dir / "small.map")).out,
              "//stdin -> UNICODE\n80, 0410\n0A, 0080\n80, 0410\n");
    const run_result to_file = maptool(dir, "dump small.map -o small.dsc");
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(to_file.out, "small.dsc: 3 entries\n");
    EXPECT_EQ(read_file(dir / "small.dsc"), "//small -> UNICODE\n" + entries);
    EXPECT_EQ(maptool(dir, "dump small.map -o small.map").status, 2);
}

TEST(Dump, MapmakerConvertsTheDumpBackToTheSameBytes) {
    std::vector<std::string> maps;
    const temp_dir dir;
    for (const auto& table : fs::directory_iterator(fs::path(SOURCE_DIR) / "tables")) {
        fs::copy_file(table.path(), dir / "t.dsc", fs::copy_options::overwrite_existing);
        ASSERT_EQ(mapmaker(dir, "t.dsc").status, 0) << table.path();
        maps.push_back(read_file(dir / "t.map"));
    }
    // Every byte, in reverse, to codes of every kind: controls, surrogates, noncharacters,
    // unassigned codes; then repeated entries and a single one.
    std::vector<std::pair<int, int>> every_byte;
    for (int byte = 255; byte >= 0; --byte) {
        every_byte.emplace_back(byte, byte * 257);
    }
    maps.push_back(map_of(every_byte));
    maps.push_back(map_of({{0x80, 0xFFFF}, {0x80, 0xFFFF}, {0x00, 0x0000}, {0x80, 0x0410}}));
    maps.push_back(map_of({{0x41, 0xD800}}));
    for (const std::string& map : maps) {
        for (const std::string options : {"", " --no-names"}) {
            write_file(dir / "x.map", map);
            ASSERT_EQ(maptool(dir, "dump x.map -o t.dsc" + options).status, 0);
            ASSERT_EQ(mapmaker(dir, "t.dsc").status, 0) << read_file(dir / "t.dsc");
            EXPECT_EQ(read_file(dir / "t.map"), map) << read_file(dir / "t.dsc");
        }
    }
}

// --- maptool diff ------------------------------------------------------------------------

struct diff_case {
    std::string a; // a.dsc or a.map, by its content
    std::string b;
    std::string options;
    int status;
    std::string out;
};

TEST(Diff, ComparesDscAndMapFilesByTheMapTheyGive) {
    const std::string dsc = "//t -> UNICODE\n80, 0410\n81, 0411 // anything\n";
    const std::string map = map_of({{0x80, 0x0410}, {0x81, 0x0411}});
    const std::string a_line = named("CYRILLIC CAPITAL LETTER A");
    const std::string be_line = named("CYRILLIC CAPITAL LETTER BE");
    const std::vector<diff_case> cases = {
        {dsc, map, "", 0, ""},
        {map, map, "", 0, ""},
        {"80 41", map_of({{0x80, 0x41}}), "", 0, ""}, // five bytes, yet no map file
        {dsc, "80, 0410\n81, 0412\n", "", 1,
         "--- a\n+++ b\n@@ -1,3 +1,2 @@\n-//t -> UNICODE\n 80, 0410\n-81, 0411 // anything\n"
         "+81, 0412\n"},
        // A map is shown as dump writes it, named after its file.
        {map, map_of({{0x81, 0x0411}, {0x82, 0x0041}}), "", 1,
         "--- a\n+++ b\n@@ -1,3 +1,3 @@\n-//a -> UNICODE\n-80, 0410" + a_line + "\n-81, 0411" +
             be_line + "\n+//b -> UNICODE\n+81, 0411" + be_line + "\n+82, 0041" +
             named("LATIN CAPITAL LETTER A") + "\n"},
        {dsc, map_of({{0x81, 0x0411}, {0x80, 0x0410}}), "", 0,
         "\\ Every byte maps the same, but the entries are in another order\n"},
        {map, "80, 0410\n81, 0411\n80, 0410\n", "", 0,
         "\\ Every byte maps the same, but entries are repeated differently (2 entries "
         "against 3)\n"},
        {"80, 0410\n81, 0411\n", "81, 0411\n80, 0410\n", "--exact", 1,
         "--- a\n+++ b\n@@ -1,2 +1,2 @@\n-80, 0410\n-81, 0411\n+81, 0411\n+80, 0410\n"},
        {map, map_of({{0x80, 0x0410}}), "-q", 1,
         "Tables a and b differ: 1 byte maps differently (81)\n"},
        {map_of({{0x00, 0x41}}), map_of({{0x00, 0x42}}), "-q", 1,
         "Tables a and b differ: 1 byte maps differently (00)\n"},
        {map_of({{0x81, 0x0411}, {0x80, 0x0410}}), dsc, "", 0,
         "\\ Every byte maps the same, but the entries are in another order\n"},
        {map, map_of({{0x80, 0x41}, {0x82, 0x42}, {0x83, 0x43}}), "-q", 1,
         "Tables a and b differ: 4 bytes map differently (80, 81, 82, 83)\n"},
        {map, map_of({{0x80, 0x41}, {0x82, 0x42}, {0x83, 0x43}, {0x84, 0x44}, {0x85, 0x45}}), "-q",
         1, "Tables a and b differ: 6 bytes map differently (80, 81, 82, 83, ...)\n"},
        {map, map_of({{0x81, 0x0411}, {0x80, 0x0410}}), "-q", 0, ""},
        {map, map, "--color=never", 0, ""},
        {map, map_of({{0x81, 0x0411}, {0x80, 0x0410}}), "-q --exact", 1,
         "Tables a and b differ: every byte maps the same, but the entries are in another "
         "order\n"},
        {map, map_of({{0x80, 0x0410}, {0x81, 0x0411}, {0x81, 0x0411}}), "--exact -q", 1,
         "Tables a and b differ: every byte maps the same, but entries are repeated "
         "differently (2 entries against 3)\n"},
        {map, dsc, "-q", 0, ""},
        {"80, zz\n", map, "", 2, ""},
        {map, "", "", 2, ""},
    };
    const temp_dir dir;
    for (const diff_case& c : cases) {
        SCOPED_TRACE(c.a + " | " + c.b);
        write_file(dir / "a", c.a);
        write_file(dir / "b", c.b);
        const run_result result = maptool(dir, "diff " + c.options + " a b");
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err.empty(), c.status != 2) << result.err;
    }
    write_file(dir / "a", dsc);
    // Standard input from a file, and from a pipe, which cannot be read twice.
    EXPECT_EQ(maptool(dir, "diff - a", map).status, 0);
    EXPECT_EQ(maptool(dir, "diff - a", map, input_kind::pipe).status, 0);
    EXPECT_EQ(maptool(dir, "diff a -", dsc, input_kind::pipe).status, 0);
    EXPECT_EQ(maptool(dir, "diff a -", "81, 0411\n", input_kind::pipe).status, 1);
    const run_result missing = maptool(dir, "diff a missing");
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.starts_with("missing: error: cannot open")) << missing.err;
#if !defined(_WIN32)
    // A DSC file read from a pipe by another name: its text is not read a second time.
    const run_result piped = maptool(dir, "diff /dev/stdin a", "81, 0411\n", input_kind::pipe);
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.out.find("\n-81, 0411"), std::string::npos) << piped.out;
#endif
}

// What diff prints is a patch: applied to the first DSC file, it gives one that maps every
// byte as the second does (with --exact, one that gives the same map file).
TEST(Diff, PatchTurnsTheFirstDscFileIntoTheSecond) {
#if defined(_WIN32)
    GTEST_SKIP() << "no patch program under Wine";
#endif
    if (!fs::exists("/usr/bin/patch")) {
        GTEST_SKIP() << "patch is not installed (Debian package patch)";
    }
    const std::string lines = data_lines(40);
    const auto with = [&lines](std::size_t line, const std::string& text) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < line; ++i) {
            at = lines.find('\n', at) + 1;
        }
        return lines.substr(0, at) + text + lines.substr(lines.find('\n', at) + 1);
    };
    struct patch_case {
        const char* what;
        std::string a;
        std::string b; // DSC text, or map bytes
        std::string options;
    };
    const std::vector<patch_case> cases = {
        {"one entry changed mid-file", lines, with(20, "94, 0499\n"), ""},
        {"changes far apart: two hunks", lines, with(5, "A3, 04A0\n") + "FF, 0020\n", ""},
        {"an entry added first, one removed last", "//t -> UNICODE\n" + lines,
         "//t -> UNICODE\n7F, 0020\n" + lines.substr(0, lines.rfind('\n', lines.size() - 2) + 1),
         ""},
        {"against a map file", lines, map_of({{0x80, 0x0400}, {0x81, 0x0410}}), ""},
        {"the order of the entries, with --exact", "80, 0410\n81, 0411\n82, 0412\n",
         "81, 0411\n80, 0410\n82, 0412\n", "--exact"},
        {"CR LF lines and no last line end", "80, 0410\r\n81, 0411\r\n82, 0412",
         "80, 0410\r\n81, 0499\r\n82, 0412", ""},
    };
    for (const patch_case& c : cases) {
        SCOPED_TRACE(c.what);
        const temp_dir dir;
        write_file(dir / "a.dsc", c.a);
        write_file(dir / "b", c.b);
        const run_result shown = maptool(dir, "diff " + c.options + " a.dsc b");
        ASSERT_EQ(shown.status, 1) << shown.err;
        EXPECT_NE(shown.out.find("\n@@ -"), std::string::npos) << shown.out;
        write_file(dir / "p.diff", shown.out);
        const program_result patched = run_program(
            "/usr/bin/patch", dir.path(), {"patch", "-s", "a.dsc", "p.diff"}, "", input_kind::file);
        ASSERT_EQ(patched.status, 0) << patched.out << patched.err << shown.out;
        EXPECT_EQ(maptool(dir, "diff --exact a.dsc b").status, 0) << read_file(dir / "a.dsc");
    }
}

// --- maptool import ----------------------------------------------------------------------

struct source_case {
    std::string text;
    std::string entries;               // "byte=code name;" each
    std::vector<std::string> warnings; // "line: message start", in order
    std::string error = {};            // "line:column: message start", or none
    std::size_t span = 0;              // the error's span, else the first warning's; 0: any
};

std::string entries_of(const mapping_source& source) {
    std::string text;
    for (const source_entry& entry : source.entries) {
        char head[16];
        std::snprintf(head, sizeof head, "%02X=%04X", entry.byte, entry.code);
        text += head + (entry.name.empty() ? "" : ' ' + entry.name) + ';';
    }
    return text;
}

const std::string UNICODE_TABLE = "#\tName: test\n"
                                  "0x41\t0x0041\t#LATIN CAPITAL LETTER A\n"
                                  "  # an indented comment\n"
                                  "0x80\t0x0410\t#CYRILLIC  CAPITAL LETTER A\r\n"
                                  "0x81\t      \t#UNDEFINED\n"
                                  "0x82\n"
                                  "0x83\t0x1F600\t#GRINNING FACE\n"
                                  "0x84\t0x0041+0x0300\n"
                                  "0x85 0x0415\n"
                                  "0x80\t0x0411\t#again\n"
                                  "0x8140\t0x3000\n"
                                  "0x8141\t0x3001\n";

const std::string CHARMAP = "<code_set_name> TEST-8\n"
                            "<comment_char> %\n"
                            "<escape_char> /\n"
                            "% alias T8\n"
                            "CHARMAP\n"
                            "<U0041>     /x41         LATIN CAPITAL LETTER A\n"
                            "<U0410>\t/x80\tCYRILLIC CAPITAL LETTER A\n"
                            "<U0001F600> /x83         GRINNING FACE\n"
                            "<U0B95><U0BCD> /x84      TAMIL KA\n"
                            "<U0415>     /d133\n"
                            "<U0411>     /x80         again\n"
                            "<U3000>     /xa1/xa1     IDEOGRAPHIC SPACE\n"
                            "<NUL>       /x00         NULL\n"
                            "<U00C0>..<U00C2> /xc0    <range>\n"
                            "END CHARMAP\n"
                            "WIDTH\n";

TEST(Import, ReadsBothFormsAndLeavesNothingOutInSilence) {
    const std::vector<source_case> cases = {
        {UNICODE_TABLE,
         "41=0041 LATIN CAPITAL LETTER A;80=0410 CYRILLIC CAPITAL LETTER A;85=0415;",
         {"7: byte 83 maps to U+1F600, beyond FFFF", "8: byte 84 maps to 2 characters",
          "10: byte 80 is defined again; the definition on line 4 is kept",
          "11: a code of more than one byte, and a map holds single bytes: left out, with 1 "
          "more"}},
        {"0x80\t0x04G0\n", "", {}, "1:6: expected a UNICODE code"},
        {"0x80 0x0410\n80\t0x0411\n", "", {}, "2:1: expected the code page's code"},
        {"0x80 0x110000\n", "", {}, "1:6: U+110000 is beyond the last UNICODE code"},
        // 0X as 0x, one digit and up to eight; U+FFFF is a 16-bit code.
        {"0X8 0X0041\n0x80 0xFFFF\n", "08=0041;80=FFFF;", {}},
        {"0x80 0x000000410\n", "", {}, "1:6: expected a UNICODE code"},
        {CHARMAP,
         "41=0041 LATIN CAPITAL LETTER A;80=0410 CYRILLIC CAPITAL LETTER A;85=0415;C0=00C0;"
         "C1=00C1;C2=00C2;",
         {"8: byte 83 maps to U+1F600", "9: byte 84 maps to 2 characters",
          "11: byte 80 is defined again", "13: byte 00 is named <NUL>",
          "12: a code of more than one byte"}},
        {"CHARMAP\n<U0041> \\d065 A\n<U0042> \\102\nEND CHARMAP\n", "41=0041 A;42=0042;", {}},
        // glibc's charmaps open with a comment in the default comment character.
        {"% a charmap's own comment\n<code_set_name> X\nCHARMAP\n<U0041> \\x41 A\nEND CHARMAP\n",
         "41=0041 A;",
         {}},
        {"CHARMAP\n<U0410 /x80\nEND CHARMAP\n", "", {}, "2:1: the symbol has no closing '>'"},
        {"CHARMAP\nU0410 \\x80\nEND CHARMAP\n", "", {}, "2:1: expected a character symbol"},
        {"CHARMAP\n<U00110000> \\x80\nEND CHARMAP\n",
         "",
         {},
         "2:1: U+110000 is beyond the last UNICODE code, 10FFFF"},
        {"CHARMAP\n<U0410> x80\nEND CHARMAP\n",
         "",
         {},
         "2:9: expected an encoded byte, such as \\x80"},
        {"CHARMAP\n<U0410>\\x80\nEND CHARMAP\n", "", {}, "2:8: expected blanks", 1},
        {"CHARMAP\n<U0410> \nEND CHARMAP\n", "", {}, "2:9: expected an encoded byte", 1},
        // The escape character takes the '>' after it; a range's end must be closed too.
        {"CHARMAP\n<x\\>\nEND CHARMAP\n", "", {}, "2:1: the symbol has no closing '>'"},
        {"CHARMAP\n<U0041>..<U0042 \\x41\nEND CHARMAP\n",
         "",
         {},
         "2:10: the symbol has no closing '>'"},
        {"CHARMAP\n<U0042>..<U0041> \\x41\nEND CHARMAP\n", "", {}, "2:1: a range runs from"},
        {"CHARMAP\n<U0041>..<U0043> \\xfe\nEND CHARMAP\n",
         "",
         {},
         "2:1: the range runs past byte FF"},
        // A hexadecimal byte has 2 digits at most, and no byte is more than FF.
        {"CHARMAP\n<U0410> \\x800\nEND CHARMAP\n", "", {}, "2:13: expected an encoded byte"},
        {"CHARMAP\n<U0410> \\108\nEND CHARMAP\n", "", {}, "2:12: expected an encoded byte"},
        {"CHARMAP\n<U0410> \\x\nEND CHARMAP\n", "", {}, "2:9: expected an encoded byte"},
        {"CHARMAP\n<U0410> \\d256\nEND CHARMAP\n",
         "",
         {},
         "2:9: expected an encoded byte, such as \\x80"},
        {"CHARMAP\n<U0041> \\o101\nEND CHARMAP\n", "41=0041;", {}},
        // '#' opens a comment after a precision flag only.
        {"CHARMAP\n<U0410> \\x80 |0 #A\n<U0411> \\x81 #B\nEND CHARMAP\n",
         "80=0410 A;81=0411 #B;",
         {}},
        {"CHARMAP\n<X> \\xa1\\xa1\n<U3000> \\xa1\\xa2\nEND CHARMAP\n",
         "",
         {"2: a code of more than one byte, and a map holds single bytes: left out, with 1 more"}},
        // A declaration without its value, or one that only looks like a symbol, is none.
        {"<code_set_name> X\n<escape_char>\nCHARMAP\n", "", {}, "2:1: expected a declaration"},
        {"<code_set_name> X\n<Uwidth> 1\nCHARMAP\n", "", {}, "2:1: expected a declaration"},
        {"CHARMAP\n<U0410> \\x80junk\nEND CHARMAP\n", "", {}, "2:13: expected an encoded byte"},
        // Decimal and octal bytes have 3 digits at most: a fourth is no part of the byte.
        {"CHARMAP\n<U0410> \\d0651\nEND CHARMAP\n", "", {}, "2:14: expected an encoded byte"},
        {"CHARMAP\n<U0410> \\x80\n", "", {}, "0:0: the charmap has no END CHARMAP line"},
        {"<code_set_name> X\n<width> 1\nCHARMAP\n", "", {}, "2:1: expected a declaration"},
        {"<U0041> /x41 A\n", "", {}, "1:1: a mapping before the CHARMAP line"},
        {"80, 0410\n", "", {}, "1:1: neither a Unicode mapping table"},
        // A definition left out does not claim its byte: the later valid one is taken.
        {"CHARMAP\n<U00010000> \\x80\n<U0410> \\x80\n<U0411> \\x80\nEND CHARMAP\n",
         "80=0410;",
         {"2: byte 80 maps to U+10000", "4: byte 80 is defined again; the definition on line 3"}},
        {"0x80 0x0041+0x0300\n0x80 0x0410\n",
         "80=0410;",
         {"1: byte 80 maps to 2 characters (U+0041 U+0300)"}},
        // A '+' at a word's end leaves an empty part, as two '+' in a row do.
        {"0x80 0x0410+\n", "", {}, "1:13: expected a UNICODE code"},
        // ICU's .ucm: |0 is a round trip; the one-way flags are left out, each named.
        {"# ucm\n<code_set_name> \"x-test\"\n<mb_cur_max> 1\n<uconv_class> \"SBCS\"\n"
         "<subchar> \\x1A\n<icu:charsetFamily> \"ASCII\"\nCHARMAP\n<U0410> \\x80 |0\n"
         "<U0411> \\x81 |1\n<U0412> \\x82 |2\n<U0413> \\x83 |3\n<U0414> \\x84 |4\n"
         "<U0415> \\x85\nEND CHARMAP\n",
         "80=0410;85=0415;",
         {"9: byte 81 to U+0411 is a fallback (|1)", "10: byte 82 to U+0412 is a substitution",
          "11: byte 83 to U+0413 is a reverse fallback (|3)",
          "12: byte 84 to U+0414 is a one-way mapping (|4)"},
         "",
         2},
        // A range may end at the last code; a symbol's every digit counts.
        {"CHARMAP\n<U0010FFFF>..<U0010FFFF> \\x80\n<U2116> \\xB9\nEND CHARMAP\n",
         "B9=2116;",
         {"2: byte 80 maps to U+10FFFF"}},
        {"CHARMAP\n<U0410> \\x80 |5\nEND CHARMAP\n", "", {}, "2:14: expected a precision flag"},
        {"CHARMAP\n<U0410> \\x80 |01\nEND CHARMAP\n", "", {}, "2:14: expected a precision flag"},
        {"CHARMAP\n<U0410> \\x80\n<U0411> \\x80 |5\nEND CHARMAP\n",
         "",
         {},
         "3:14: expected a precision flag"},
        // Symbols in messages are shown, not sent to the terminal.
        {"CHARMAP\n<\x1b]8;;x\x07> \\x80\nEND CHARMAP\n",
         "",
         {"2: byte 80 is named <<1B>]8;;x<07>>"}},
    };
    for (const source_case& c : cases) {
        SCOPED_TRACE(c.text);
        const mapping_source source = read_mapping_source(c.text);
        std::string error;
        if (source.error) {
            error = std::to_string(source.error->line) + ':' +
                    std::to_string(source.error->column) + ": " + source.error->message;
        }
        EXPECT_TRUE(error.starts_with(c.error)) << error;
        EXPECT_EQ(error.empty(), c.error.empty()) << error;
        if (c.span != 0) {
            EXPECT_EQ(source.error ? source.error->span : source.warnings.at(0).span, c.span);
        }
        // Warnings come with an error too, and are shown before it.
        if (c.error.empty()) {
            EXPECT_EQ(entries_of(source), c.entries);
        }
        ASSERT_EQ(source.warnings.size(), c.warnings.size());
        for (std::size_t i = 0; i < c.warnings.size(); ++i) {
            const std::string warning =
                std::to_string(source.warnings[i].line) + ": " + source.warnings[i].message;
            EXPECT_TRUE(warning.starts_with(c.warnings[i])) << warning;
        }
    }
    // A symbol cut off by the end of the text: what lies beyond the text is not read.
    const mapping_source cut =
        read_mapping_source(std::string_view("CHARMAP\n<U0410>").substr(0, 14));
    ASSERT_TRUE(cut.error);
    EXPECT_EQ(cut.error->message, "the symbol has no closing '>'");
    const auto ucm_case = std::find_if(cases.begin(), cases.end(), [](const source_case& c) {
        return c.text.starts_with("# ucm");
    });
    const mapping_source ucm = read_mapping_source(ucm_case->text);
    EXPECT_EQ(ucm.format, source_format::ucm);
    EXPECT_EQ(ucm.charset, "x-test");
    // A byte defined again and again: the warnings kept stay few, the rest are counted.
    std::string repeated = "CHARMAP\n";
    for (int i = 0; i < 5000; ++i) {
        repeated += "<U0410> \\x80\n";
    }
    const mapping_source many = read_mapping_source(repeated + "END CHARMAP\n");
    // 512 kept and the line that counts the rest.
    ASSERT_EQ(many.warnings.size(), 513U);
    EXPECT_EQ(many.warnings.back().message, "4487 more warnings like these are not shown");
    EXPECT_EQ(many.warnings.back().column, 0U); // of no line
    // One code of more bytes is said as one.
    const mapping_source one = read_mapping_source("CHARMAP\n<U3000> \\xa1\\xa1\nEND CHARMAP\n");
    ASSERT_EQ(one.warnings.size(), 1U);
    EXPECT_EQ(one.warnings[0].message,
              "a code of more than one byte, and a map holds single bytes: left out");
}

struct import_case {
    std::string arguments;
    int status;
    std::string out;
    std::string err_start = {};
    std::string input = {};
};

TEST(Import, WritesTheBundledFormat) {
    const temp_dir dir;
    write_file(dir / "CP9.TXT", UNICODE_TABLE);
    write_file(dir / "t8", CHARMAP);
    write_file(dir / "bad.txt", "0x80 0x0410\n0x81 0x04G1\n");
    // A byte a map repeats keeps its entries in their order.
    write_file(dir / "m.map",
               map_of({{0x81, 0x0411}, {0x41, 0x0041}, {0x80, 0x0410}, {0x81, 0x0412}}));
    gzFile packed = gzopen((dir / "t8.gz").string().c_str(), "wb");
    gzwrite(packed, CHARMAP.data(), static_cast<unsigned>(CHARMAP.size()));
    gzclose(packed);
    const std::string charmap_out =
        "//TEST-8 -> UNICODE\n"
        "// charset TEST-8; generated by maptool import from the charmap t8\n"
        "80, 0410 // CYRILLIC CAPITAL LETTER A\n85, 0415" +
        named("CYRILLIC CAPITAL LETTER IE") + "\nC0, 00C0" +
        named("LATIN CAPITAL LETTER A WITH GRAVE") + "\nC1, 00C1" +
        named("LATIN CAPITAL LETTER A WITH ACUTE") + "\nC2, 00C2" +
        named("LATIN CAPITAL LETTER A WITH CIRCUMFLEX") + "\n";
    // A line of the longest length allowed, comment and all; a CR before its LF is no part
    // of it, one byte more is.
    const std::string longest = "0x80\t0x0410\t#" + std::string(4096 - 13, 'x');
    const std::string longest_out = "//stdin -> UNICODE\n// generated by maptool import from a "
                                    "Unicode mapping table on standard input\n80, 0410\n";
    const std::vector<import_case> cases = {
        {"--no-names -", 0, longest_out, "", longest + "\n"},
        {"--no-names -", 0, longest_out, "", longest + "\r\n"},
        {"--no-names -", 0, longest_out, "", longest},
        {"--no-names -", 2, "", "<stdin>:1:1: error: a line of more than 4096 bytes",
         longest + "x\n"},
        // A name too long for the header line is cut where the line would be read in pieces.
        {"--no-names --name " + std::string(300, 'n') + " -", 0,
         "//" + std::string(240, 'n') + longest_out.substr(longest_out.find(" -> ")), "",
         longest + "\n"},
        // And the comment line under it, as long as a line may be.
        {"--no-names -", 0,
         "//" + std::string(240, 'c') + " -> UNICODE\n// charset " + std::string(240, 'c') +
             "; \n80, 0410\n",
         "",
         "<code_set_name> " + std::string(240, 'c') + "\nCHARMAP\n<U0410> \\x80\nEND CHARMAP\n"},
        {"CP9.TXT --no-names", 0,
         "//CP9 -> UNICODE\n// generated by maptool import from the Unicode mapping table "
         "CP9.TXT\n80, 0410\n85, 0415\n",
         "CP9.TXT:7:6: warning: byte 83 maps to U+1F600"},
        {"--all --name cp9 -", 0,
         "//cp9 -> UNICODE\n// generated by maptool import from a Unicode mapping table on "
         "standard input\n41, 0041 // LATIN CAPITAL LETTER A\n80, 0410 // CYRILLIC CAPITAL "
         "LETTER A\n85, 0415" +
             named("CYRILLIC CAPITAL LETTER IE") + "\n",
         "<stdin>:7:6: warning:", UNICODE_TABLE},
        {"--no-names -", 0,
         "//stdin -> UNICODE\n// generated by maptool import from a Unicode mapping table on "
         "standard input\n80, 0410\n85, 0415\n",
         "<stdin>:7:6: warning:", UNICODE_TABLE},
        {"t8", 0, charmap_out, "t8:8:1: warning: byte 83 maps to U+1F600"},
        // A byte of a symbol that is no code is warned about as any other byte from 80 up.
        {"--no-names -", 0,
         "//stdin -> UNICODE\n// generated by maptool import from a charmap on standard "
         "input\n80, 0410\n",
         "<stdin>:2:1: warning: byte 90 is named <X>",
         "CHARMAP\n<X> \\x90\n<U0410> "
         "\\x80\nEND CHARMAP\n"},
        {"t8.gz", 0, charmap_out, "t8.gz:8:1: warning:"},
        {"bad.txt", 2, "", "bad.txt:2:6: error: expected a UNICODE code, such as 0x0410\n"},
        {"missing.txt", 2, "", "missing.txt: error: cannot open the file"},
        {"m.map --no-names", 0,
         "//m -> UNICODE\n// generated by maptool import from the map file m.map\n80, 0410\n81, "
         "0411\n81, 0412\n"},
        {"t8 --iconv CP866", 2, "", ""},
        {"iconv:", 2, "", "iconv:: error: no charset named after iconv:"},
        // Nothing from 80 up, or with --all nothing at all.
        {"-", 2, "", "<stdin>: error: no byte from 80 to FF is defined\n",
         "CHARMAP\n<U0041> \\x41\nEND CHARMAP\n"},
        {"--all -", 2, "", "<stdin>: error: no byte is defined\n", "CHARMAP\nEND CHARMAP\n"},
        {"", 2, "", ""},
    };
    for (const import_case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const run_result result = maptool(dir, "import " + c.arguments, c.input);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(result.err.starts_with(c.err_start)) << result.err;
    }
    const run_result to_file = maptool(dir, "import t8.gz -o t8.dsc");
    EXPECT_EQ(to_file.out, "t8.dsc: 5 entries\n");
    EXPECT_EQ(read_file(dir / "t8.dsc"), charmap_out);
}

TEST(Import, IconvGivesTheBundledTablesEntries) {
#if !defined(MAPTOOL_ICONV) && !defined(MAPTOOL_CODE_PAGES)
    GTEST_SKIP() << "built without iconv";
#else
#if defined(MAPTOOL_ICONV)
    const iconv_t converter = iconv_open("UTF-32BE", "IBM866");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        GTEST_SKIP() << "iconv does not know IBM866";
    }
    iconv_close(converter);
    const char* from = "the system's iconv";
#else
    const char* from = "the system's code pages"; // Windows' own
#endif
    // A byte the code page leaves out is left out in silence: CP1251 has no 98.
    std::vector<std::pair<std::string, std::string>> cases = {{"IBM866", "cp866"}};
#if defined(MAPTOOL_ICONV)
    cases.emplace_back("CP1251", "cp1251");
#endif
    for (const auto& [charset, bundled] : cases) {
        SCOPED_TRACE(charset);
        const temp_dir dir;
        const run_result result = maptool(dir, "import --iconv " + charset + " --no-names");
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        std::string expected = "//" + charset + " -> UNICODE\n// charset " + charset +
                               "; generated by maptool import from " + std::string(from) + "\n";
        const std::string table = read_file(fs::path(SOURCE_DIR) / "tables" / (bundled + ".dsc"));
        for (std::size_t at = table.find("\n80, "); at != std::string::npos;
             at = table.find('\n', at + 1)) {
            if (at + 1 < table.size()) {
                expected += table.substr(at + 1, 8) + '\n';
            }
        }
        EXPECT_EQ(result.out, expected);
    }
#endif
}

// Without iconv, Windows' code pages under the names iconv knows, in any case, or by number;
// never one of more bytes a character.
TEST(Import, CodePagesByTheNamesOfIconv) {
#if !defined(MAPTOOL_CODE_PAGES)
    GTEST_SKIP() << "the system's code pages stand in for iconv on Windows only";
#else
    const struct {
        const char* name;
        std::optional<std::uint32_t> number;
    } cases[] = {
        {"CP866", 866},          {"ibm866", 866},           {"866", 866},
        {"windows-1251", 1251},  {"MS-CYRL", 1251},         {"KOI8-R", 20866},
        {"koi8-u", 21866},       {"CP20866", 20866},        {"ISO-8859-5", 28595},
        {"iso8859-5", 28595},    {"ISO_8859-5", 28595},     {"latin1", 28591},
        {"MacCyrillic", 10007},  {"CP65001", std::nullopt}, {"UTF-8", std::nullopt},
        {"CP932", std::nullopt}, {"123456", std::nullopt},  {"CP", std::nullopt},
        {"", std::nullopt},      {"CP866x", std::nullopt},  {"IBM-866", std::nullopt},
    };
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(code_page_number(name), number) << name;
    }
    const std::vector<std::string> names = code_page_names();
    for (const char* known : {"CP437", "IBM866", "WINDOWS-1251", "KOI8-U", "ISO-8859-15"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), known), names.end()) << known;
    }
    for (const std::string& name : names) {
        EXPECT_TRUE(code_page_number(name)) << name;
    }
    EXPECT_EQ(decode_code_page_byte(866, 0x80), std::vector<std::uint32_t>{0x0410});
#endif
}

} // namespace

// --- Table sources and export -------------------------------------------------------------

namespace {

void write_gz(const fs::path& path, const std::string& bytes) {
    gzFile packed = gzopen(path.string().c_str(), "wb");
    ASSERT_NE(packed, nullptr);
    gzwrite(packed, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(packed);
}

} // namespace

TEST(Export, EveryBundledTableInEveryFormatReadsBackEqual) {
    const temp_dir dir;
    for (const auto& table : fs::directory_iterator(fs::path(SOURCE_DIR) / "tables")) {
        // Named from the scratch folder: an absolute path would read as an option on Windows.
        const std::string dsc = table.path().filename().string();
        fs::copy_file(table.path(), dir / dsc);
        for (const std::string format : {"ucm", "unicode", "charmap", "dsc"}) {
            SCOPED_TRACE(table.path().filename().string() + " as " + format);
            const run_result exported = maptool(dir, "export --name=lirv-t --format=" + format +
                                                         " " + dsc + " -o t." + format);
            ASSERT_EQ(exported.status, 0) << exported.err;
            EXPECT_EQ(exported.err, "");
            const run_result back = maptool(dir, "diff t." + format + " " + dsc);
            EXPECT_EQ(back.status, 0) << back.out << back.err;
            EXPECT_EQ(back.err, "");
        }
    }
}

// A .ucm holds round trips only as |0 lines: a byte given again goes in as a fallback, a
// character given again as a reverse fallback, and what both give again stays a comment.
TEST(Export, RepeatedEntriesInEachFormat) {
    const temp_dir dir;
    write_file(dir / "r.dsc", "//r -> UNICODE\n81, 0410\n80, 0410\n81, 0411\n81, 0410\n");
    const std::string ucm_head = "# generated by maptool export from the DSC file r.dsc\n"
                                 "<code_set_name>               \"r\"\n"
                                 "<mb_cur_max>                  1\n"
                                 "<mb_cur_min>                  1\n"
                                 "<uconv_class>                 \"SBCS\"\n"
                                 "<subchar>                     \\x1A\n\nCHARMAP\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ucm --no-ascii", ucm_head +
                               "<U0410> \\x80 |0\n<U0410> \\x81 |3\n<U0411> \\x81 |1\n"
                               "# <U0410> \\x81 again: both ways given already\nEND CHARMAP\n"},
        {"charmap --no-ascii --name=a\x01"
         "b",
         "<code_set_name> a_b\n<comment_char> %\n<escape_char> /\n"
         "% generated by maptool export from the DSC file r.dsc\n"
         "<mb_cur_min> 1\n<mb_cur_max> 1\n\nCHARMAP\n"
         "<U0410>     /x80" +
             std::string(names_available() ? "         CYRILLIC CAPITAL LETTER A" : "") + "\n"},
    };
    for (const auto& [arguments, start] : cases) {
        SCOPED_TRACE(arguments);
        const run_result result = maptool(dir, "export r.dsc --format=" + arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(result.out.starts_with(start)) << result.out;
    }
    // makeconv would refuse two |0 lines of one byte or one character.
    const run_result back =
        maptool(dir, "import - --no-names", maptool(dir, "export r.dsc --no-ascii").out);
    EXPECT_EQ(back.out.substr(back.out.find("\n8") + 1), "80, 0410\n");
    // Bytes in order, and a byte's entries in the file's order.
    write_file(dir / "q.dsc", "81, 0411\n80, 0410\n81, 0410\n");
    const std::string lines = maptool(dir, "export q.dsc --no-ascii --format=unicode").out;
    EXPECT_LT(lines.find("0x80\t0x0410"), lines.find("0x81\t0x0411")) << lines;
    EXPECT_LT(lines.find("0x81\t0x0411"), lines.find("0x81\t0x0410")) << lines;
}

struct export_case {
    std::string arguments;
    int status;
    std::vector<std::string> present; // in what is written, standard output or the file
    std::vector<std::string> absent;
    std::string err; // what stderr starts with
};

// A .ucm file or charmap is a whole code page: the bytes 00 to 7F the table leaves out are
// ASCII, as convert reads them, after the table's own entries (an ASCII byte whose
// character the table gives another byte only decodes). A name ICU or glibc has already
// would be shadowed: refused when given, warned about when it is the file's own.
TEST(Export, AsciiCompletesTheCodePageAndKnownNamesAreNotTaken) {
    const temp_dir dir;
    write_file(dir / "lirvtest.dsc", "//lirvtest -> UNICODE\n41, 0410\n80, 0042\n");
    fs::copy_file(fs::path(SOURCE_DIR) / "tables" / "cp866.dsc", dir / "cp866.dsc");
    write_file(dir / "named.charmap", "CHARMAP\n<U0410> \\x80 A\x7f"
                                      "B\n<U0411> \\x81 UNDEFINED x\n<U0412> \\x82 |0 |x\n"
                                      "<U0413> \\x83 \001C\001\nEND CHARMAP\n");
    std::vector<export_case> cases = {
        {"lirvtest.dsc --format=ucm",
         0,
         {"<U0000> \\x00 |0\n", "<U0040> \\x40 |0\n<U0410> \\x41 |0\n<U0042> \\x42 |3\n",
          "<U007F> \\x7F |0\n<U0042> \\x80 |0\nEND"},
         {"<U0041>"},
         ""},
        {"lirvtest.dsc --format=charmap",
         0,
         {"\n<U0000>     /x00", "\n<U0042>     /x42", "\n<U0042>     /x80"},
         {"<U0041>"},
         ""},
        {"lirvtest.dsc --format=ucm --no-ascii", 0, {"<U0042> \\x80 |0"}, {"\\x00", "\\x42"}, ""},
        {"lirvtest.dsc --format=charmap --no-ascii", 0, {"/x80"}, {"/x00", "/x42"}, ""},
        {"lirvtest.dsc --format=unicode", 0, {"0x80\t0x0042"}, {"0x00\t"}, ""},
        {"lirvtest.dsc --format=dsc", 0, {"80, 0042"}, {"00, 0000"}, ""},
        {"cp866.dsc --format=unicode --name=IBM866", 0, {"IBM866"}, {}, ""},
        {"lirvtest.dsc --format=charmap --name=AZaz09-_.~",
         0,
         {"<code_set_name> AZaz09-_._\n"},
         {},
         ""},
        // Control characters in a name or an entry's name, DEL included, become spaces; an
        // entry's name that would read back as no character or as a flag is left out.
        {"named.charmap --format=unicode --name=a\x7f"
         "b",
         0,
         {"Name:     a b to Unicode table", "0x80\t0x0410\t#A B\n", "0x81\t0x0411\n",
          "0x82\t0x0412\n", "0x83\t0x0413\t#C\n"},
         {"\x7f", "UNDEFINED", "|x"},
         ""},
    };
    // A build with ICU; Windows has names from a table of its own, and no ICU converters.
#if !defined(_WIN32)
    if (names_available()) {
        cases.push_back({"cp866.dsc --format=ucm --name=IBM866 -o out",
                         2,
                         {},
                         {},
                         "cp866.dsc: error: ICU already has a charset named IBM866"});
        cases.push_back({"cp866.dsc --format=ucm -o out",
                         0,
                         {"<U0410> \\x80 |0"},
                         {},
                         "cp866.dsc: warning: ICU already has a charset named cp866"});
    }
#endif
#if defined(MAPTOOL_ICONV)
    cases.push_back({"cp866.dsc --format=charmap --name=KOI8-R -o out",
                     2,
                     {},
                     {},
                     "cp866.dsc: error: glibc's iconv already has a charset named KOI8-R"});
#endif
    for (const export_case& c : cases) {
        SCOPED_TRACE(c.arguments);
        fs::remove(dir / "out");
        const run_result result = maptool(dir, "export " + c.arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_TRUE(result.err.starts_with(c.err)) << result.err;
        EXPECT_EQ(c.err.empty(), result.err.empty()) << result.err;
        const std::string written = fs::exists(dir / "out") ? read_file(dir / "out") : result.out;
        EXPECT_EQ(written.empty(), c.status != 0);
        for (const std::string& part : c.present) {
            EXPECT_NE(written.find(part), std::string::npos) << part;
        }
        for (const std::string& part : c.absent) {
            EXPECT_EQ(written.find(part), std::string::npos) << part;
        }
    }
}

struct source_fault_case {
    std::string file;
    std::string err; // what stderr holds
};

// Each fault: exit 2, one error, a bounded message, and nothing written.
TEST(Sources, DamagedOrHostileInputIsOneErrorAndNothingWritten) {
    const temp_dir dir;
    fs::copy_file(fs::path(SOURCE_DIR) / "tables" / "cp866.dsc", dir / "cp866.dsc");
    const std::string table = maptool(dir, "export --format=unicode cp866.dsc").out;
    ASSERT_NE(table, "");
    write_gz(dir / "whole.gz", table);
    const std::string packed = read_file(dir / "whole.gz");
    write_file(dir / "cut.gz", packed.substr(0, packed.size() / 2));
    write_file(dir / "tail.gz", packed.substr(0, packed.size() - 4)); // no length
    // Cut in what follows END CHARMAP, which is not read for its words.
    std::string after = "CHARMAP\n<U0410> \\x80\nEND CHARMAP\n";
    for (int i = 0; i < 20000; ++i) {
        after += "WIDTH <U" + std::to_string(i) + "> 2\n";
    }
    write_gz(dir / "after.gz", after);
    const std::string after_packed = read_file(dir / "after.gz");
    write_file(dir / "after.gz", after_packed.substr(0, after_packed.size() * 3 / 4));
    // An error on an early line is the error, whatever comes after it.
    write_gz(dir / "early.gz", "0x80 0x04G0\n" + after);
    const std::string early_packed = read_file(dir / "early.gz");
    write_file(dir / "early.gz", early_packed.substr(0, early_packed.size() * 3 / 4));
    write_file(dir / "early.txt", "0x80 0x04G0\n# " + std::string(5000, 'c') + "\n");
    std::string damaged = packed;
    damaged[damaged.size() - 6] ^= 0x55; // the CRC
    write_file(dir / "crc.gz", damaged);
    write_gz(dir / "bomb.gz", std::string(std::size_t{64} << 20, '\0'));
    write_file(dir / "long.txt", "0x80" + std::string(100000, ' ') + "0x0410\n");
    write_file(dir / "late.txt", "0x80 0x0410\n# " + std::string(5000, 'c') + "\n");
    // A long line whose first 4097 bytes end the first block of 64 KiB read.
    std::string edge;
    for (int line = 1; line < 960; ++line) {
        edge += "# " + std::string(61, 'p') + "\n";
    }
    write_file(dir / "edge.txt",
               edge + "# " + std::string(60, 'p') + "\n# " + std::string(5000, 'c'));
    write_file(dir / "prose.txt", "Dear colleague,\n0x80 0x0410\n");
    write_file(dir / "letter.txt", "x1, 0410\n"); // a letter, then what an entry has
    write_file(dir / "comma.txt", ", 0410\n");    // what an entry has, but no first field
    // One byte order mark is taken off a first line, not two: this is no DSC file.
    write_file(dir / "marks.txt", std::string("\xFF\xFE\xFE\xFF") + "80, 0410\n");
    write_gz(dir / "dsc.gz", "80, 0410\n");
    write_file(dir / "trailing.gz", packed + "junk");
    write_file(dir / "byte.gz", packed + "j");         // less than a gzip header after the end
    write_file(dir / "magic.gz", packed + "\x1f\x8b"); // a member begun and cut short
    // Two members, as joined gzip files are: one text.
    write_gz(dir / "half.gz", table.substr(table.size() / 2));
    write_gz(dir / "joined.gz", table.substr(0, table.size() / 2));
    write_file(dir / "joined.gz", read_file(dir / "joined.gz") + read_file(dir / "half.gz"));
    const std::vector<source_fault_case> cases = {
        {"cut.gz", "cut.gz: error: cannot read the file: the gzip data is cut short\n"},
        {"tail.gz", "tail.gz: error: cannot read the file: the gzip data is cut short\n"},
        {"after.gz", "after.gz: error: cannot read the file: the gzip data is cut short\n"},
        {"early.gz", "early.gz:1:6: error: expected a UNICODE code, such as 0x0410\n"},
        {"early.txt", "early.txt:1:6: error: expected a UNICODE code, such as 0x0410\n"},
        {"crc.gz", "crc.gz: error: cannot read the file: damaged gzip data (incorrect data "
                   "check)\n"},
        {"bomb.gz", "bomb.gz:1:1: error: a line of more than 4096 bytes, longer than any "
                    "table's: not read on\n    1 | " +
                        visible(std::string(80, '\0')) + "\n      | ^~~~\n"},
        {"long.txt", "long.txt:1:1: error: a line of more than 4096 bytes, longer than any "
                     "table's: not read on\n    1 | 0x80" +
                         std::string(76, ' ') + "\n      | ^\n"},
        {"late.txt", "late.txt:2:1: error: a line of more than 4096 bytes, longer than any "
                     "table's: not read on\n"},
        {"edge.txt", "edge.txt:961:1: error: a line of more than 4096 bytes, longer than any "
                     "table's: not read on\n"},
        {"prose.txt", "prose.txt:1:1: error: not a table: neither a map file"},
        {"letter.txt", "letter.txt:1:1: error: not a table: neither a map file"},
        {"comma.txt", "comma.txt:1:1: error: not a table: neither a map file"},
        {"marks.txt", "marks.txt:1:1: error: not a table: neither a map file"},
        {"dsc.gz", "dsc.gz:1:1: error: not a table: neither a map file"},
        {"trailing.gz", "trailing.gz: error: cannot read the file: data after the end of the "
                        "gzip data\n"},
        {"byte.gz", "byte.gz: error: cannot read the file: data after the end of the gzip data\n"},
        {"magic.gz", "magic.gz: error: cannot read the file: the gzip data is cut short\n"},
    };
    for (const source_fault_case& c : cases) {
        for (const std::string verb : {"import", "export", "dump"}) {
            SCOPED_TRACE(verb + ' ' + c.file);
            const run_result result = maptool(dir, verb + ' ' + c.file + " -o out");
            EXPECT_EQ(result.status, 2);
            EXPECT_EQ(result.out, "");
            EXPECT_TRUE(result.err.starts_with(c.err)) << result.err;
            EXPECT_LT(result.err.size(), 1000U);
            EXPECT_FALSE(fs::exists(dir / "out"));
        }
    }
    EXPECT_NE(maptool(dir, "dump dsc.gz")
                  .err.find("\ndsc.gz: note: gzip-compressed, and DSC files "
                            "are not\n"),
              std::string::npos);
    EXPECT_EQ(maptool(dir, "diff whole.gz cp866.dsc").status, 0);
    EXPECT_EQ(maptool(dir, "diff joined.gz cp866.dsc").status, 0);
    // A file read in more than one block, plain and compressed: letters that hardly
    // compress make more than one block of gzip data too.
    std::string preamble;
    for (std::uint32_t seed = 1; preamble.size() < 200000; seed = seed * 1103515245 + 12345) {
        preamble +=
            preamble.size() % 64 == 0 ? "\n# " : std::string(1, static_cast<char>('a' + seed % 26));
    }
    write_file(dir / "blocks.txt", preamble.substr(1) + "\n" + table);
    write_gz(dir / "blocks.gz", read_file(dir / "blocks.txt"));
    ASSERT_GT(read_file(dir / "blocks.gz").size(), std::size_t{1} << 16);
    EXPECT_EQ(maptool(dir, "diff blocks.txt cp866.dsc").status, 0);
    EXPECT_EQ(maptool(dir, "diff blocks.gz cp866.dsc").status, 0);
    // The longest line allowed is read, its CR LF not counted; one byte more is not; nothing
    // after END CHARMAP is read for its words, a line of any length included.
    for (const auto& [text, status] : std::vector<std::pair<std::string, int>>{
             {"# " + std::string(4094, 'c') + "\r\n0x80 0x0410\n", 0},
             {"# " + std::string(4095, 'c') + "\r\n0x80 0x0410\n", 2},
             {"CHARMAP\n<U0410> \\x80\nEND CHARMAP\n" + std::string(5000, 'W') + "\n", 0}}) {
        write_file(dir / "longest.txt", text);
        EXPECT_EQ(maptool(dir, "import longest.txt -o out").status, status) << text.substr(0, 30);
        fs::remove(dir / "out");
    }
}

// A read error partway through a source, plain or gzip data (within a member, or after a
// whole one where another may follow): the whole lines before it, then the system's
// reason, not the end of the text nor a complaint about the data.
TEST(LineReader, ReadErrorPartwayThrough) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "a failing stream is made with glibc's fopencookie";
#else
    const temp_dir dir;
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    write_gz(dir / "t.gz", text);
    const std::string packed = read_file(dir / "t.gz");
    for (const auto& [bytes, whole] : std::vector<std::pair<std::string, bool>>{
             {packed.substr(0, packed.size() / 2), false}, {packed, true}, {text, true}}) {
        SCOPED_TRACE(bytes.size());
        failing_source source{bytes};
        const auto file = failing_stream(source);
        ASSERT_TRUE(file);
        line_reader reader(file.get());
        int lines = 0;
        line_status status = line_status::line;
        while ((status = reader.next()) == line_status::line) {
            EXPECT_EQ(reader.line(), "line " + std::to_string(lines++));
        }
        EXPECT_EQ(status, line_status::failed);
        EXPECT_EQ(reader.problem(), std::string("cannot read the file: ") + std::strerror(EIO));
        EXPECT_EQ(lines == 3000, whole) << lines;
    }
#endif
}

// Every verb that reads a source and writes a file refuses to write over the source.
TEST(Sources, WritingOverTheSourceIsRefused) {
    const temp_dir dir;
    const std::string dsc = "//t -> UNICODE\n80, 0410\n";
    for (const std::string verb : {"import t.dsc", "export t.dsc", "dump t.dsc", "chart t.dsc",
                                   "chart one.dsc --against t.dsc", "convert -f t.dsc one.dsc",
                                   "convert -t t.dsc one.dsc"}) {
        SCOPED_TRACE(verb);
        write_file(dir / "t.dsc", dsc);
        write_file(dir / "one.dsc", dsc);
        const run_result result = maptool(dir, verb + " -o ./t.dsc");
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("t.dsc: error: "), std::string::npos) << result.err;
        EXPECT_EQ(read_file(dir / "t.dsc"), dsc);
    }
}

// --- Tables by name, and each verb's own diagnosis ----------------------------------------

namespace {

// A charmap of one byte, with an alias.
const std::string CHARMAP_OF_LIRV8 = "<code_set_name> LIRV-8\n<comment_char> %\n"
                                     "<escape_char> /\n% alias LIRVANE-Z\nCHARMAP\n<U0411> /x80\n"
                                     "END CHARMAP\n";

// An environment variable set for the programs a test runs, and unset after it.
class scoped_environment {
  public:
    scoped_environment(const char* name, const std::string& value) : name_(name) {
#ifdef _WIN32
        _putenv_s(name, value.c_str());
#else
        setenv(name, value.c_str(), 1);
#endif
    }
    scoped_environment(const scoped_environment&) = delete;
    scoped_environment& operator=(const scoped_environment&) = delete;
    ~scoped_environment() {
#ifdef _WIN32
        _putenv_s(name_, "");
#else
        unsetenv(name_);
#endif
    }

  private:
    const char* name_;
};

struct named_case {
    std::string arguments;
    int status;
    std::string out; // what standard output starts with
    std::string err; // what standard error holds somewhere
};

} // namespace

// A byte that iconv decodes to several characters, or to none, is left out with a warning
// that says which; a charset iconv does not know is an error.
TEST(Import, WhatIconvCannotGiveIsSaid) {
#if !defined(MAPTOOL_ICONV)
    GTEST_SKIP() << "built without glibc's iconv";
#else
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"TSCII", 0, "warning: byte 88 gives 2 characters, and a map holds one per byte: left out"},
        {"IBM930", 0, "warning: byte 0E gives no character: left out"},
        {"NO-SUCH", 2, "error: iconv knows no code page NO-SUCH"},
    };
    for (const auto& [charset, status, said] : cases) {
        if (status == 0) {
            const iconv_t converter = iconv_open("UTF-32BE", charset.c_str());
            if (converter == reinterpret_cast<iconv_t>(-1)) {
                GTEST_SKIP() << "iconv does not know " << charset;
            }
            iconv_close(converter);
        }
        const temp_dir dir;
        const run_result result = maptool(dir, "import --all --no-names iconv:" + charset);
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_NE(result.err.find("iconv:" + charset + ": " + said + "\n"), std::string::npos)
            << result.err;
    }
#endif
}

// A .ucm file is told from a charmap by any of ICU's declarations, and its quoted name is
// taken without the quotes.
TEST(Import, TellsAUcmFileByItsDeclarationsAndUnquotesItsName) {
    const temp_dir dir;
    const std::string mapping = "CHARMAP\n<U0410> \\x80\nEND CHARMAP\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<code_set_name> \"lirv\"\n<subchar1> \\x1A\n" + mapping,
         "//lirv -> UNICODE\n// charset lirv; generated by maptool import from an ICU .ucm "
         "file on standard input\n"},
        {"<code_set_name> lirv\n<char_name_mask> \"AQM\"\n" + mapping,
         "//lirv -> UNICODE\n// charset lirv; generated by maptool import from an ICU .ucm"},
        {"<code_set_name> lirv\n" + mapping,
         "//lirv -> UNICODE\n// charset lirv; generated by maptool import from a charmap on"},
        {"<code_set_name> \"l\n" + mapping, "//\"l -> UNICODE\n"},
        // Empty quotes are no name: the table is named as any other on standard input.
        {"<code_set_name> \"\"\n" + mapping,
         "//stdin -> UNICODE\n// generated by maptool import from a charmap on"},
    };
    for (const auto& [source, start] : cases) {
        SCOPED_TRACE(source);
        const run_result result = maptool(dir, "import - --no-names", source);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(result.out.starts_with(start)) << result.out;
    }
}

// A table argument that is no file is a bundled table (any letter case), then a charmap by
// its name, with or without .gz, or by an alias, then an iconv charset; an unknown or
// ambiguous name is one error, exit 2, nothing written. list shows what there is.
TEST(Sources, TablesByNameAndTheirList) {
    const temp_dir dir;
    write_file(dir / "charmaps" / "LIRV-8", CHARMAP_OF_LIRV8);
    // Its code set name is an alias; a comment after CHARMAP is no header.
    // Only "% alias NAME" names an alias, and only before CHARMAP.
    write_file(dir / "charmaps" / "K9", "<code_set_name> KOI-9\n<comment_char> %\n<escape_char> /\n"
                                        "% version 1\n% alias list follows\nCHARMAP\n"
                                        "% alias K9-BODY\n<U0412> /x80\nEND CHARMAP\n");
    write_file(dir / "twice" / "dup.dsc", "//dup -> UNICODE\n80, 0410\n// not its title\n");
    write_file(dir / "twice" / "dup.map", map_of({{0x80, 0x0410}}));
    write_file(dir / "twice" / "three.dsc", "//  \n// three word title\n80, 0410\n");
    write_file(dir / "twice" / "one.dsc", "//a\n80, 0410\n");
    write_file(dir / "twice" / "two.dsc", "// all of UNICODE\n80, 0410\n");
    const scoped_environment charmaps("MAPTOOL_CHARMAPS", utf8_from(dir / "charmaps"));
    std::vector<named_case> cases = {
        {"dump cp866", 0, "//cp866 -> UNICODE\n80, 0410", ""},
        {"dump CP866 --no-names", 0, "//cp866 -> UNICODE\n80, 0410\n81, 0411\n", ""},
        {"check Cp1251", 0, "0 errors and 0 warnings in 1 file\n", ""},
        {"diff cp866 CP1251", 1, "--- cp866\n+++ CP1251\n@@ -1,", ""},
        {"dump LIRV-8 --no-names", 0, "//LIRV-8 -> UNICODE\n80, 0411\n", ""},
        {"dump lirv-8.gz --no-names", 0, "//LIRV-8 -> UNICODE\n80, 0411\n", ""},
        {"dump lirvane-z --no-names", 0, "//LIRV-8 -> UNICODE\n80, 0411\n", ""},
        {"dump koi-9 --no-names", 0, "//KOI-9 -> UNICODE\n80, 0412\n", ""},
        {"dump cp8666 -o out", 2, "", "cp8666: error: cannot open the file: "},
        {"dump cp8666 -o out", 2, "", "; near names: cp866, "},
        {"export qqqqqqqq -o out", 2, "", "nor is it the name of a table"},
        {"dump lirvane-y -o out", 2, "", "; near names: LIRVANE-Z\n"},
        {"list", 0, "cp1250  ", "\ncp866      128 entries  charset IBM866; generated by"},
        {"list --charmaps", 0, "cp1250",
         "\nK9  charmap (also KOI-9)\nLIRV-8  charmap (also LIRVANE-Z)\n"},
        {"list --color=never", 0, "cp1250  ", "\ncp866      128 entries"},
    };
#if defined(MAPTOOL_ICONV)
    cases.push_back({"dump 866 --no-names", 0, "//866 -> UNICODE\n80, 0410\n", ""});
    cases.push_back({"list --iconv", 0, "cp1250", "\niconv:CP1251\n"});
    cases.push_back({"dump ISO-8859-55 -o out", 2, "", "; near names: ISO-8859-"});
#endif
    for (const named_case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const run_result result = maptool(dir, c.arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_TRUE(result.out.starts_with(c.out)) << result.out;
        const std::string& said = c.arguments.starts_with("list") ? result.out : result.err;
        EXPECT_NE(said.find(c.err), std::string::npos) << said;
        EXPECT_EQ(c.err.empty() || c.arguments.starts_with("list"), result.err.empty())
            << result.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
    // Standard input is no name.
    EXPECT_EQ(maptool(dir, "dump - --no-names", "80, 0410\n").out,
              "//stdin -> UNICODE\n80, 0410\n");
    {
        // Up to five near names, those at most two edits away (not mxxxq nor mmmnop, three),
        // closest first.
        for (const std::string name :
             {"lirv1", "lirv2", "lirv3", "lirv4", "lirv5", "lirv6", "mnoxx", "mxxxq", "mmmnop"}) {
            write_file(dir / "near" / (name + ".dsc"), "80, 0410\n");
        }
        const scoped_environment near_tables("MAPTOOL_TABLES", utf8_from(dir / "near"));
        for (const auto& [name, listed] : std::vector<std::pair<std::string, std::string>>{
                 {"lirvq", "lirv1, lirv2, lirv3, lirv4, lirv5"}, {"mnopq", "mnoxx"}}) {
            const run_result result = maptool(dir, "dump " + name);
            EXPECT_TRUE(result.err.ends_with("; near names: " + listed + "\n")) << result.err;
        }
        // Completion offers the tables whose names start so, in any letter case, sorted.
        std::string paths;
        for (const std::string name : {"lirv1", "lirv2", "lirv3", "lirv4", "lirv5", "lirv6"}) {
            paths += utf8_from(dir / "near" / (name + ".dsc")) + "\n";
        }
        EXPECT_EQ(maptool(dir, "completion table LIRV").out, paths);
    }
#if defined(MAPTOOL_ICONV) && !defined(_WIN32)
    {
        // No iconv program to list the charsets: an error that says so.
        const scoped_environment no_programs("PATH", utf8_from(dir / "near"));
        for (const char* arguments : {"list --iconv", "which --iconv -"}) {
            const run_result failed = maptool(dir, arguments);
            EXPECT_EQ(failed.status, 2);
            EXPECT_TRUE(failed.err.ends_with("iconv: error: iconv -l failed\n")) << failed.err;
        }
    }
#endif
    const scoped_environment twice("MAPTOOL_TABLES", utf8_from(dir / "twice"));
    // A title is a comment at the top, of any words, one letter too: one after the entries is
    // none.
    EXPECT_EQ(
        maptool(dir, "list").out,
        "dup      1 entries  \ndup      1 entries  \none      1 entries  a\nthree    1 entries  "
        "three word title\ntwo      1 entries  all of UNICODE\n");
    const run_result ambiguous = maptool(dir, "dump DUP -o out");
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_TRUE(ambiguous.err.starts_with("DUP: error: the name DUP is ambiguous: "))
        << ambiguous.err;
    EXPECT_NE(ambiguous.err.find(" has 2 tables of that name ("), std::string::npos);
    EXPECT_NE(ambiguous.err.find("dup.map); give the file's path"), std::string::npos)
        << ambiguous.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
    // A table by name is checked where it lies, and not fixed there.
    write_file(dir / "twice" / "fix.dsc", "0x80, 0410\n");
    for (const std::string fixing : {"check --fix fix", "check --diff fix"}) {
        const run_result refused = maptool(dir, fixing);
        EXPECT_EQ(refused.status, 2);
        const std::string said = refused.out + refused.err; // --diff reports on standard error
        EXPECT_NE(said.find("fix: error: a table given by name cannot be fixed: name its file\n"),
                  std::string::npos)
            << said;
    }
    EXPECT_EQ(read_file(dir / "twice" / "fix.dsc"), "0x80, 0410\n");
}

// A DSC file spoiled by a byte order mark, UTF-16 or tabs gets the checker's findings from
// every verb; check of a table in another form says what it is and which verb reads it.
TEST(Sources, EachVerbsOwnDiagnosis) {
    const temp_dir dir;
    write_file(dir / "bom.dsc", "\xEF\xBB\xBF//x -> UNICODE\n80, 0410\n");
    write_file(dir / "utf16.dsc", std::string("\xFF\xFE/\0/\0x\0\n\0", 10));
    write_file(dir / "tab.dsc", "80,\t0410\n");
    write_file(dir / "t.map", map_of({{0x80, 0x0410}}));
    write_file(dir / "t.charmap", CHARMAP_OF_LIRV8);
    write_file(dir / "later.unicode", "0x80 0x0410\n0x81 bogus\n"); // a fault past its first line
    for (const std::string format : {"ucm", "unicode"}) {
        write_file(dir / ("t." + format),
                   maptool(dir, "export --no-ascii --name=lirv --format=" + format + " t.map").out);
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"bom.dsc", "bom.dsc:1:1: note: the file starts with a UTF-8 byte order mark"},
        {"utf16.dsc", "utf16.dsc: error: the file is UTF-16 text: save it as UTF-8 or ASCII\n"},
        {"tab.dsc", "tab.dsc:1:4: note: a tab is not skipped as a space is: use spaces\n"},
    };
    for (const auto& [file, err] : cases) {
        for (const std::string verb : {"check", "dump", "export", "convert -f"}) {
            SCOPED_TRACE(verb + ' ' + file);
            const run_result result =
                maptool(dir, verb + ' ' + file + (verb == "check" ? "" : " -o out"));
            EXPECT_EQ(result.status, 2);
            EXPECT_NE((verb == "check" ? result.out : result.err).find(err), std::string::npos)
                << result.out << result.err;
            EXPECT_FALSE(fs::exists(dir / "out"));
        }
    }
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"t.map", "t.map: error: a map file, not a DSC file: maptool dump t.map writes one"},
        {"t.charmap", "t.charmap: error: a charmap, not a DSC file: maptool import t.charmap"},
        {"t.ucm", "t.ucm: error: an ICU .ucm file, not a DSC file: maptool import t.ucm"},
        {"t.unicode", "t.unicode: error: a Unicode mapping table, not a DSC file: maptool import"},
        {"iconv:CP1251", "iconv:CP1251: error: a charset of the system's iconv, not a DSC file"},
        {"later.unicode", "later.unicode: error: a Unicode mapping table, not a DSC file"},
    };
    for (const auto& [file, out] : forms) {
        SCOPED_TRACE(file);
        const run_result result = maptool(dir, "check " + file);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.out.starts_with(out)) << result.out;
        EXPECT_TRUE(result.out.ends_with("\n1 error and 0 warnings in 1 file\n")) << result.out;
    }
#if !defined(_WIN32)
    // A pipe by another name is read once, by the checker alone.
    EXPECT_EQ(maptool(dir, "check /dev/stdin", "80, 0410\n", input_kind::pipe).status, 0);
#endif
}
