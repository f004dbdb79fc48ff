// maptool as a user sees it, held to the byte: reports with their excerpts, the warning
// options, build over several files, dump's header, diff of repeated bytes, import's
// cleaning of its sources, and how a map file is written and replaced. Only the built
// program is run, so these hold whatever its sources look like inside.

#include "engine/visible.h"
#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <set>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Runs maptool in dir with the arguments after its name; text comes back in LF lines.
program_result maptool(const temp_dir& dir, const std::vector<std::string>& arguments,
                       const std::string& input = "") {
    std::vector<std::string> args = {"maptool"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    program_result result = run_program(MAPTOOL_PATH, dir.path(), args, input);
    result.out = from_text_mode(result.out);
    result.err = from_text_mode(result.err);
    return result;
}

// " // NAME" as an entry line ends in a build with character names.
std::string named(const std::string& name) {
    static const bool with_names = [] {
        const temp_dir dir;
        return maptool(dir, {"--version"}).out.find("without character names") == std::string::npos;
    }();
    return with_names ? " // " + name : "";
}

// The names under folder, sorted, one a line.
std::string listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.insert(fs::relative(entry.path(), folder).generic_string());
    }
    std::string text;
    for (const std::string& name : names) {
        text += name + '\n';
    }
    return text;
}

const std::string LONG_LINE_WARNING =
    "warning: the line has 254 characters or more: mapmaker reads it in pieces, and from "
    "column 255 on as another line [-Wlong-line]\n";
const std::string LONE_CR_WARNING = "warning: a CR without an LF after it ends the text: mapmaker "
                                    "ignores the rest of the line [-Wlone-cr]\n";
const std::string OLD_MAC_NOTE = "note: mapmaker ends lines only at LF or CR LF: old Mac line "
                                 "ends (CR alone) must be converted\n";
// A line of 254 characters and more: mapmaker reads its first 254 as one line.
const std::string FIRST_PIECE = "80, 0410 " + std::string(245, 'x');

struct report_case {
    std::string dsc;
    std::vector<std::string> options;
    int status;
    std::string report; // standard output of maptool check, whole
};

void expect_reports(const std::vector<report_case>& cases) {
    const temp_dir dir;
    for (const report_case& c : cases) {
        SCOPED_TRACE(c.dsc.substr(0, 40));
        write_file(dir / "t.dsc", c.dsc);
        std::vector<std::string> arguments = {"check"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back("t.dsc");
        const program_result result = maptool(dir, arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.report);
        EXPECT_EQ(result.err, "");
    }
}

// --- The excerpt under a finding --------------------------------------------------------

TEST(PinnedCheck, ExcerptAndCaretLines) {
    expect_reports({
        {"0x80, 0410\n81, 0411\n",
         {},
         2,
         "t.dsc:1:1: error: the first field '0x80' is not a hexadecimal number\n"
         "    1 | 0x80, 0410\n"
         "      | ^~~~\n"
         "      | 80\n" // the fix, under what it replaces
         "t.dsc:1:1: note: write the byte as 80, without 0x\n"
         "1 error and 0 warnings in 1 file\n"},
        {"80 , 0410\n81, 0411\n",
         {},
         2,
         "t.dsc:1:4: error: the second field ',' is not a hexadecimal number\n"
         "    1 | 80 , 0410\n"
         "      |    ^\n"
         "t.dsc:1:4: note: a space ends the first field, so the ',' starts the second: delete "
         "the space before the comma\n"
         "1 error and 0 warnings in 1 file\n"},
        // A tab, a control byte and a byte that starts no UTF-8 sequence are spelled out,
        // and the caret line spans what is shown.
        {"80,\t0410\n81, 0411\n",
         {},
         2,
         "t.dsc:1:4: error: the second field '<09>0410' is not a hexadecimal number\n"
         "    1 | 80,<09>0410\n"
         "      |    ^~~~~~~~\n"
         "      |     0410\n"
         "t.dsc:1:4: note: a tab is not skipped as a space is: use spaces\n"
         "1 error and 0 warnings in 1 file\n"},
        {"80, 04\x01 10\n81, 0411\n",
         {},
         2,
         "t.dsc:1:5: error: the second field '04<01>' is not a hexadecimal number\n"
         "    1 | 80, 04<01> 10\n"
         "      |     ^~~~~~\n"
         "1 error and 0 warnings in 1 file\n"},
        {"80, \xFF"
         "10\n81, 0411\n",
         {},
         2,
         "t.dsc:1:5: error: the second field '<FF>10' is not a hexadecimal number\n"
         "    1 | 80, <FF>10\n"
         "      |     ^~~~~~\n"
         "1 error and 0 warnings in 1 file\n"},
        // The cause of a lone CR is told once a file.
        {"80, 0410\rx\r\n81, 0411\ry\n",
         {},
         1,
         "t.dsc:1:9: " + LONE_CR_WARNING +
             "    1 | 80, 0410<0D>x\n"
             "      |         ^~~~\n"
             "t.dsc:1:9: " +
             OLD_MAC_NOTE + "t.dsc:2:9: " + LONE_CR_WARNING +
             "    2 | 81, 0411<0D>y\n"
             "      |         ^~~~\n"
             "0 errors and 2 warnings in 1 file\n"},
        // A UTF-8 character takes one column, however many bytes it has.
        {"80, 0410 // \xD0\x94\xD0\x96 \xE2\x82\xAC\rx\r\n",
         {},
         1,
         "t.dsc:1:21: " + LONE_CR_WARNING +
             "    1 | 80, 0410 // \xD0\x94\xD0\x96 \xE2\x82\xAC<0D>x\n"
             "      |                 ^~~~\n"
             "t.dsc:1:21: " +
             OLD_MAC_NOTE + "0 errors and 1 warning in 1 file\n"},
        {"\xD0\x94"
         "0, 0410\n81, 0411\n",
         {},
         2,
         "t.dsc:1:1: error: the first field '\xD0\x94"
         "0' is not a hexadecimal number\n"
         "    1 | \xD0\x94"
         "0, 0410\n"
         "      | ^~\n"
         "1 error and 0 warnings in 1 file\n"},
        // The rest of a long line is shown after "...", the caret shifted along.
        {FIRST_PIECE + "81, 04G1\n",
         {},
         2,
         "t.dsc:1:255: " + LONG_LINE_WARNING +
             "    1 | ...81, 04G1\n"
             "      |    ^\n"
             "t.dsc:1:255: note: mapmaker counts this as line 2\n"
             "t.dsc:1:259: error: the second field '04G1' is not a hexadecimal number\n"
             "    1 | ...81, 04G1\n"
             "      |        ^~~~\n"
             "t.dsc:1:259: note: mapmaker counts this as line 2\n"
             "1 error and 1 warning in 1 file\n"},
        // Spans at the end of the line: past its last character, and up to it.
        {"81, 0411\n80,\n",
         {},
         2,
         "t.dsc:2:4: error: the second field is empty\n"
         "    2 | 80,\n"
         "      |    ^\n"
         "1 error and 0 warnings in 1 file\n"},
        {"81, 0411\n80, 04\x01",
         {},
         2,
         "t.dsc:2:5: error: the second field '04<01>' is not a hexadecimal number\n"
         "    2 | 80, 04<01>\n"
         "      |     ^~~~~~\n"
         "1 error and 0 warnings in 1 file\n"},
        // An empty field: the place where it is missing.
        {", 0410\n80, // x\n",
         {},
         2,
         "t.dsc:1:1: error: the first field is empty\n"
         "    1 | , 0410\n"
         "      | ^\n"
         "t.dsc:2:5: error: the second field is empty\n"
         "    2 | 80, // x\n"
         "      |     ^\n"
         "t.dsc: error: no entry: a table needs at least one\n"
         "3 errors and 0 warnings in 1 file\n"},
        // The entry one too many: its first character only.
        {data_lines(257),
         {},
         2,
         "t.dsc:257:1: error: a table holds at most 256 entries\n"
         "  257 | 00, 0500\n"
         "      | ^\n"
         "1 error and 0 warnings in 1 file\n"},
    });
}

// A JSON finding's column counts bytes of the line, not the columns of the excerpt.
TEST(PinnedCheck, JsonColumns) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"80,\t0410\n81, 0411\n", "4 "},
        {"80, 0410 // \xD0\x94\xD0\x96 \xE2\x82\xAC\rx\r\n", "21 "},
        {FIRST_PIECE + "81, 04G1\n", "255 259 "},
        {"81, 0411\n80,\n", "4 "},
    };
    const temp_dir dir;
    for (const auto& [dsc, columns] : cases) {
        SCOPED_TRACE(dsc.substr(0, 40));
        write_file(dir / "t.dsc", dsc);
        const nlohmann::json findings =
            nlohmann::json::parse(maptool(dir, {"check", "--format=json", "t.dsc"}).out);
        std::string shown;
        for (const nlohmann::json& found : findings) {
            shown += found["column"].dump() + ' ';
        }
        EXPECT_EQ(shown, columns);
    }
}

// --- -Werror=CLASS --------------------------------------------------------------------

struct werror_case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
    std::optional<std::string> map; // dup.map as written; none when there is none
};

TEST(PinnedWarningOptions, WerrorOfOneClass) {
    const std::string excerpt = "    2 | 80, 0411\n"
                                "      | ^~\n"
                                "dup.dsc:1:1: note: first listed here\n";
    const std::string as_error =
        "dup.dsc:2:1: error: source code 80 is listed again [-Werror,-Wduplicate-byte]\n" + excerpt;
    const std::string as_warning =
        "dup.dsc:2:1: warning: source code 80 is listed again [-Wduplicate-byte]\n" + excerpt;
    const std::string map("\x00\x02\x80\x04\x10\x80\x04\x11", 8);
    const std::vector<werror_case> cases = {
        {{"check", "-Werror=duplicate-byte", "dup.dsc"},
         2,
         as_error + "1 error and 0 warnings in 1 file\n",
         "",
         std::nullopt},
        {{"check", "dup.dsc"}, 1, as_warning + "0 errors and 1 warning in 1 file\n", "", {}},
        {{"check", "-Werror=duplicate-code", "dup.dsc"},
         1,
         as_warning + "0 errors and 1 warning in 1 file\n",
         "",
         {}},
        {{"check", "-Werror=duplicate-byte", "-Wno-duplicate-byte", "dup.dsc"},
         0,
         "0 errors and 0 warnings in 1 file\n",
         "",
         {}},
        {{"check", "-Wno-duplicate-byte", "-Werror=duplicate-byte", "dup.dsc"},
         2,
         as_error + "1 error and 0 warnings in 1 file\n",
         "",
         {}},
        {{"build", "-Werror=duplicate-byte", "dup.dsc"}, 2, "", as_error, {}},
        {{"build", "dup.dsc"}, 0, "dup.map: 2 entries\n", as_warning, map},
    };
    for (const werror_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const temp_dir dir;
        write_file(dir / "dup.dsc", "80, 0410\n80, 0411\n");
        const program_result result = maptool(dir, c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(fs::exists(dir / "dup.map"), c.map.has_value());
        if (c.map) {
            EXPECT_EQ(read_file(dir / "dup.map"), *c.map);
        }
    }
}

// --- Where the warnings start and stop --------------------------------------------------

TEST(PinnedWarningOptions, EdgesOfTheWarnings) {
    const std::string clean = "0 errors and 0 warnings in 1 file\n";
    const auto surrogate = [](const std::string& code) {
        return "t.dsc:1:5: warning: UNICODE code " + code +
               " is a surrogate, not a character [-Wsurrogate]\n"
               "    1 | 80, " +
               code +
               "\n"
               "      |     ^~~~\n"
               "0 errors and 1 warning in 1 file\n";
    };
    expect_reports({
        {"80, D7FF\n", {}, 0, clean},
        {"80, D800\n", {}, 1, surrogate("D800")},
        {"80, DFFF\n", {}, 1, surrogate("DFFF")},
        {"80, E000\n", {}, 0, clean},
        {"7F, 0410\n",
         {"-Wascii"},
         1,
         "t.dsc:1:1: warning: byte 7F lies in ASCII but maps to 0410, not 007F [-Wascii]\n"
         "    1 | 7F, 0410\n"
         "      | ^~\n"
         "0 errors and 1 warning in 1 file\n"},
        {"80, 0410\n", {"-Wascii"}, 0, clean},
        // Three digits: too many for a byte, so few that the code would fit one.
        {"180, 410\n",
         {},
         1,
         "t.dsc:1:1: warning: source code '180' has more digits than a byte: it is read as 80 "
         "[-Wtruncated-field]\n"
         "    1 | 180, 410\n"
         "      | ^~~\n"
         "0 errors and 1 warning in 1 file\n"},
        {"81, 0411\n",
         {"-Wall"},
         1,
         "t.dsc: warning: bytes 80-FF that no entry lists: 80, 82-FF [-Wunmapped]\n"
         "0 errors and 1 warning in 1 file\n"},
        {FIRST_PIECE + "81, 0411\n82, 0412 " + std::string(245, 'x') + "83, 0413\n",
         {},
         1,
         "t.dsc:1:255: " + LONG_LINE_WARNING +
             "    1 | ...81, 0411\n"
             "      |    ^\n"
             "t.dsc:1:255: note: mapmaker counts this as line 2\n"
             "t.dsc:2:255: " +
             LONG_LINE_WARNING +
             "    2 | ...83, 0413\n"
             "      |    ^\n"
             "t.dsc:2:255: note: mapmaker counts this as line 4\n"
             "0 errors and 2 warnings in 1 file\n"},
        {"8\x7F, 0410\n81, 0411\n",
         {},
         2,
         "t.dsc:1:1: error: the first field '8<7F>' is not a hexadecimal number\n"
         "    1 | 8<7F>, 0410\n"
         "      | ^~~~~\n"
         "1 error and 0 warnings in 1 file\n"},
    });
}

// --- build ------------------------------------------------------------------------------

struct build_case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
    std::string files; // the folder's listing afterwards
    std::string map_path;
    std::string map;
};

TEST(PinnedBuild, SeveralFilesAndFolders) {
    const std::vector<build_case> cases = {
        {{"build", "a.dsc", "b.dsc"},
         2,
         "b.map: 1 entries\n",
         "a.dsc:1:4: error: the second field ',' is not a hexadecimal number\n"
         "    1 | 80 , 0410\n"
         "      |    ^\n"
         "a.dsc:1:4: note: a space ends the first field, so the ',' starts the second: delete "
         "the space before the comma\n"
         "a.dsc: error: no entry: a table needs at least one\n"
         "1 of 2 maps not written\n",
         "a.dsc\nb.dsc\nb.map\nsub\nsub/x.dsc\n",
         "b.map",
         std::string("\x00\x01\x80\x04\x10", 5)},
        {{"build", "-o", "b.dsc", "b.dsc"},
         2,
         "",
         "b.dsc: error: the map file b.dsc is this DSC file itself\n",
         "a.dsc\nb.dsc\nsub\nsub/x.dsc\n",
         "b.dsc",
         "80, 0410\n"},
        {{"build", "sub/x.dsc"},
         0,
         "sub/x.map: 2 entries\n",
         "",
         "a.dsc\nb.dsc\nsub\nsub/x.dsc\nsub/x.map\n",
         "sub/x.map",
         std::string("\x00\x02\x80\x04\x11\x81\x04\x12", 8)},
    };
    for (const build_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const temp_dir dir;
        write_file(dir / "a.dsc", "80 , 0410\n");
        write_file(dir / "b.dsc", "80, 0410\n");
        write_file(dir / "sub" / "x.dsc", "80, 0411\n81, 0412\n");
        const program_result result = maptool(dir, c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(listing(dir.path()), c.files);
        EXPECT_EQ(read_file(dir / c.map_path), c.map);
    }
}

// --- dump -----------------------------------------------------------------------------

TEST(PinnedDump, HeaderNamesTheMapNotTheOutput) {
    const std::string map("\x00\x02\x80\x04\x11\x81\x04\x12", 8);
    const std::string entries = "80, 0411" + named("CYRILLIC CAPITAL LETTER BE") + "\n81, 0412" +
                                named("CYRILLIC CAPITAL LETTER VE") + "\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"dump", "sub/x.map", "-o", "out.dsc"}, "//x -> UNICODE\n" + entries},
        {{"dump", "x.y.map", "-o", "sub/out.dsc"}, "//x.y -> UNICODE\n" + entries},
        {{"dump", "-", "-o", "out.dsc", "--no-names"}, "//stdin -> UNICODE\n80, 0411\n81, 0412\n"},
    };
    for (const auto& [arguments, dsc] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const temp_dir dir;
        write_file(dir / "sub" / "x.map", map);
        write_file(dir / "x.y.map", map);
        const program_result result = maptool(dir, arguments, map);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, arguments[3] + ": 2 entries\n");
        EXPECT_EQ(read_file(dir / arguments[3]), dsc);
    }
}

// A map of the entry count alone: too short for its count, not for a count.
TEST(PinnedDump, MapOfTwoBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("\x00\x01", 2), "2 bytes, but an entry count of 1 needs 5 bytes (2 + 3 x 1)"},
        {std::string("\x01\x00", 2),
         "2 bytes, but an entry count of 256 needs 770 bytes (2 + 3 x 256)"},
    };
    const temp_dir dir;
    for (const auto& [bytes, message] : cases) {
        write_file(dir / "x.map", bytes);
        const program_result result = maptool(dir, {"dump", "x.map"});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "x.map:1:1: error: not a table: neither a map file, a DSC file, a Unicode "
                  "mapping table, a charmap nor an ICU .ucm file\n"
                  "    1 | " +
                      visible(bytes) +
                      "\n"
                      "      | ^~~~\n"
                      "x.map: note: not a map file: " +
                      message +
                      "\n"
                      "x.map: note: a DSC file has lines such as 80, 0410, a Unicode mapping "
                      "table 0x80 0x0410, a charmap or .ucm file <code_set_name> and CHARMAP\n");
    }
}

// --- diff -----------------------------------------------------------------------------

struct diff_case {
    std::string a;
    std::string b;
    std::vector<std::string> options;
    std::string out;
};

TEST(PinnedDiff, ByteRepeatedWithAnotherCode) {
    const std::string be = "80, 0411" + named("CYRILLIC CAPITAL LETTER BE") + "\n";
    const std::string twice = "80, 0410\n80, 0411\n";
    const std::vector<diff_case> cases = {
        {twice, "80, 0410\n", {}, "--- A\n+++ B\n@@ -1,2 +1 @@\n 80, 0410\n-80, 0411\n"},
        {"80, 0410\n", twice, {}, "--- A\n+++ B\n@@ -1 +1,2 @@\n 80, 0410\n+80, 0411\n"},
        {twice,
         std::string("\x00\x01\x80\x04\x10", 5),
         {},
         "--- A\n+++ B\n@@ -1,2 +1,2 @@\n-80, 0410\n-80, 0411\n+//B -> UNICODE\n+80, 0410" +
             named("CYRILLIC CAPITAL LETTER A") + "\n"},
        {twice,
         "80, 0410\n80, 0412\n",
         {},
         "--- A\n+++ B\n@@ -1,2 +1,2 @@\n 80, 0410\n-80, 0411\n+80, 0412\n"},
        // The first entry is the one a conversion uses: another order maps the byte otherwise.
        {twice,
         "80, 0411\n80, 0410\n",
         {},
         "--- A\n+++ B\n@@ -1,2 +1,2 @@\n-80, 0410\n-80, 0411\n+80, 0411\n+80, 0410\n"},
        {twice, "80, 0410\n", {"-q"}, "Tables A and B differ: 1 byte maps differently (80)\n"},
    };
    const temp_dir dir;
    for (const diff_case& c : cases) {
        SCOPED_TRACE(c.a + " | " + c.b);
        write_file(dir / "A", c.a);
        write_file(dir / "B", c.b);
        std::vector<std::string> arguments = {"diff"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {"A", "B"});
        const program_result result = maptool(dir, arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
    }
}

// --- import ---------------------------------------------------------------------------

struct import_case {
    std::string file;
    std::string source;
    std::vector<std::string> options;
    std::string out;
    std::string err;
};

TEST(PinnedImport, WhatReachesTheDscFile) {
    const std::string utf8_name = [] {
        std::string name;
        for (int i = 0; i < 200; ++i) {
            name += "\xD0\x94";
        }
        return name;
    }();
    const std::vector<import_case> cases = {
        // Unsorted, an undefined byte, and the last byte.
        {"U.TXT",
         "0x82\t0x0412\n0x81\t0xFFFD\t#UNDEFINED\n0xFF\t0x00A0\n0x80\t0x0410\n",
         {"--no-names"},
         "//U -> UNICODE\n// generated by maptool import from the Unicode mapping table U.TXT\n"
         "80, 0410\n82, 0412\nFF, 00A0\n",
         ""},
        {"cm",
         "<code_set_name> T\n<comment_char> %\nCHARMAP\n<U0411> \\x81 B\n"
         "% <U0412> \\x82 VE\n<U0410> \\x80 A\nEND CHARMAP\n",
         {"--no-names"},
         "//T -> UNICODE\n// charset T; generated by maptool import from the charmap cm\n"
         "80, 0410\n81, 0411\n",
         ""},
        // Warnings on bytes below 80 are left out with the bytes themselves. A definition
        // left out does not claim its byte: the later valid one is taken.
        {"W.TXT",
         "0x7F\t0x0041+0x0300\n0x80\t0x0041+0x0300\n0x81\t0x0410\n0x80\t0x0411\n",
         {"--no-names"},
         "//W -> UNICODE\n// generated by maptool import from the Unicode mapping table W.TXT\n"
         "80, 0411\n81, 0410\n",
         "W.TXT:2:6: warning: byte 80 maps to 2 characters (U+0041 U+0300), and a map holds one "
         "per byte: left out\n"
         "    2 | 0x80<09>0x0041+0x0300\n"
         "      |         ^~~~~~~~~~~~~\n"},
        // Control characters and DEL are spelled out as the reports show them.
        {"N.TXT",
         "0x80\t0x0410\t#A\x01"
         "B\x1F"
         "C\tD\x7F"
         "E\n0x81\t0x0411\t#\x1B[31mred\n",
         {},
         "//N -> UNICODE\n// generated by maptool import from the Unicode mapping table N.TXT\n"
         "80, 0410 // A<01>B<1F>C D<7F>E\n81, 0411 // <1B>[31mred\n",
         ""},
        // Long names are cut to 253 bytes a line, a UTF-8 one between two characters.
        {"L.TXT",
         "0x80\t0x0410\t#" + std::string(300, 'N') + "\n0x81\t0x0411\t#" + utf8_name + "\n",
         {},
         "//L -> UNICODE\n// generated by maptool import from the Unicode mapping table L.TXT\n"
         "80, 0410 // " +
             std::string(241, 'N') + "\n81, 0411 // " + utf8_name.substr(0, 240) + "\n",
         ""},
    };
    for (const import_case& c : cases) {
        SCOPED_TRACE(c.file);
        const temp_dir dir;
        write_file(dir / c.file, c.source);
        std::vector<std::string> arguments = {"import", c.file};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const program_result result = maptool(dir, arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        // What import writes, check finds nothing in.
        arguments.insert(arguments.end(), {"-o", "t.dsc"});
        ASSERT_EQ(maptool(dir, arguments).status, 0);
        EXPECT_EQ(maptool(dir, {"check", "t.dsc"}).out, "0 errors and 0 warnings in 1 file\n");
    }
}

// --- Writing the map file ---------------------------------------------------------------

TEST(PinnedMapWriter, TargetThatIsAFolder) {
    for (const bool with_file : {true, false}) {
        SCOPED_TRACE(with_file ? "a folder with a file" : "an empty folder");
        const temp_dir dir;
        write_file(dir / "t.dsc", "80, 0410\n");
        fs::create_directory(dir / "t.map");
        if (with_file) {
            write_file(dir / "t.map" / "kept", "kept");
        }
        const std::string before = listing(dir.path());
        const program_result result = maptool(dir, {"build", "t.dsc"});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "t.map: error: cannot write the map file: Is a directory\n");
        EXPECT_EQ(listing(dir.path()), before); // no temporary file left behind
    }
}

#if !defined(_WIN32)
// Runs a command line of bash, in its POSIX mode, in dir; MAPTOOL in it is the built
// maptool. None when there is no bash to run it.
std::optional<program_result> posix_shell(const temp_dir& dir, const std::string& command) {
    const std::string bash = "/bin/bash";
    if (!fs::exists(bash)) {
        return std::nullopt;
    }
    const std::string program = "'" MAPTOOL_PATH "'";
    std::string line = command;
    for (std::size_t at = 0; (at = line.find("MAPTOOL", at)) != std::string::npos;) {
        line.replace(at, 7, program);
        at += program.size();
    }
    return run_program(bash, dir.path(), {"bash", "--posix", "-c", line});
}

// The map file of count entries as t.dsc of data_lines(count) gives it.
std::string map_of_data_lines(int count) {
    std::string map{static_cast<char>(count >> 8), static_cast<char>(count & 0xFF)};
    for (int i = 0; i < count; ++i) {
        map += {static_cast<char>(i), static_cast<char>((0x400 + i) >> 8),
                static_cast<char>(0x400 + i)};
    }
    return map;
}
#endif

struct shell_case {
    std::string setup;                // shell commands before maptool build t.dsc
    int entries;                      // of t.dsc
    std::optional<fs::perms> old_map; // t.map before, with these permissions, or none
    int status;
    std::string err;
    bool replaced; // whether t.map is the new map, not the old one
    fs::perms mode;
    std::string command = "MAPTOOL build t.dsc";
};

TEST(PinnedMapWriter, FileSizeLimitAndUmask) {
#if defined(_WIN32)
    GTEST_SKIP() << "file size limits and the umask are POSIX shell matters";
#else
    using p = fs::perms;
    const p rw_r_r = p::owner_read | p::owner_write | p::group_read | p::others_read;
    const p rw = p::owner_read | p::owner_write;
    // bash --posix counts ulimit -f in blocks of 512 bytes; 256 entries take 770.
    const std::string limit = "trap '' XFSZ; ulimit -f 1; ";
    const std::vector<shell_case> cases = {
        {limit, 256, rw_r_r, 2, "t.map: error: cannot write the map file: File too large\n", false,
         rw_r_r},
        {limit, 1, rw_r_r, 0, "", true, rw_r_r},
        {"umask 022; ", 1, std::nullopt, 0, "", true, rw_r_r},
        {"umask 077; ", 1, std::nullopt, 0, "", true, rw},
        {"umask 027; ", 1, std::nullopt, 0, "", true, rw | p::group_read},
        // A map that is replaced keeps its permissions, whatever the umask.
        {"umask 022; ", 1, rw, 0, "", true, rw},
        {"umask 077; ", 1, rw_r_r | p::group_write, 0, "", true, rw_r_r | p::group_write},
        // mapmaker makes its map with the same permissions.
        {"umask 022; ", 1, std::nullopt, 0, "", true, rw_r_r, "'" MAPMAKER_PATH "' t.dsc"},
    };
    const std::string old_map("\x00\x01\x80\x04\x10", 5);
    for (const shell_case& c : cases) {
        SCOPED_TRACE(c.setup + std::to_string(c.entries) + " entries");
        const temp_dir dir;
        write_file(dir / "t.dsc", data_lines(c.entries));
        if (c.old_map) {
            write_file(dir / "t.map", old_map);
            fs::permissions(dir / "t.map", *c.old_map);
        }
        const std::optional<program_result> result =
            posix_shell(dir, c.setup + "exec " + c.command);
        if (!result) {
            GTEST_SKIP() << "no /bin/bash";
        }
        EXPECT_EQ(result->status, c.status);
        EXPECT_EQ(result->err, c.err);
        EXPECT_EQ(read_file(dir / "t.map"), c.replaced ? map_of_data_lines(c.entries) : old_map);
        EXPECT_EQ(fs::status(dir / "t.map").permissions() & p::mask, c.mode);
        EXPECT_EQ(listing(dir.path()), "t.dsc\nt.map\n");
    }
#endif
}

TEST(PinnedMapWriter, FlushedToDiskBeforeTheRename) {
#if !defined(SYNC_LOG_LIBRARY)
    GTEST_SKIP() << "needs the preloaded sync_log library, built on Linux without a sanitizer";
#else
    const temp_dir dir;
    const temp_dir logs;
    write_file(dir / "t.dsc", data_lines(256));
    write_file(dir / "t.map", "old");
    const std::optional<program_result> result =
        posix_shell(dir, "LD_PRELOAD='" SYNC_LOG_LIBRARY "' SYNC_LOG='" + (logs / "log").string() +
                             "' exec MAPTOOL build t.dsc");
    if (!result) {
        GTEST_SKIP() << "no /bin/bash";
    }
    ASSERT_EQ(result->status, 0) << result->err;
    EXPECT_EQ(read_file(dir / "t.map"), map_of_data_lines(256));
    // The temporary file's name is made up at random.
    const std::string log = read_file(logs / "log");
    ASSERT_TRUE(log.starts_with("fsync ")) << log;
    const std::string temporary = log.substr(6, log.find(' ', 6) - 6);
    EXPECT_NE(temporary, "t.map");
    EXPECT_EQ(log, "fsync " + temporary + " 770\nrename " + temporary + " t.map\n");
#endif
}

} // namespace
