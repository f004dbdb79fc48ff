// maptool check and build: what each kind of problem is reported as, the options that shape
// the report, the exit statuses, and that build writes what mapmaker writes, or nothing.

#include "engine/dsc_check.h"
#include "engine/fixes.h"
#include "maptool/completion.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "run_program.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

// Checks bytes as the file "t.dsc" and returns the text report.
std::string check_text(const std::string& bytes, const std::vector<std::string>& warnings = {}) {
    std::FILE* input = scratch_file();
    std::FILE* output = scratch_file();
    std::fwrite(bytes.data(), 1, bytes.size(), input);
    std::rewind(input);
    warning_policy policy;
    for (const std::string& value : warnings) {
        EXPECT_TRUE(apply_warning_option(policy, value).ok()) << value;
    }
    text_renderer renderer(output, false, false);
    diagnostics report(policy, renderer);
    check_dsc(input, "t.dsc", report);
    const std::string text = read_back(output);
    std::fclose(input);
    std::fclose(output);
    return text;
}

struct report_case {
    std::string bytes;
    std::string expected; // a whole line of the report
    std::vector<std::string> warnings = {};
};

TEST(Check, ReportsEachKindOfProblem) {
    const std::vector<report_case> cases = {
        {"0x80, 0410\n", "t.dsc:1:1: error: the first field '0x80' is not a hexadecimal number"},
        {"0x80, 0410\n", "t.dsc:1:1: note: write the byte as 80, without 0x"},
        {"0x80, 0410\n", "      | 80"}, // a certain fix, under the caret
        {"80, U+0410\n", "t.dsc:1:5: note: write the code as 0410, without U+\n"},
        {"84, O414\n", "t.dsc:1:5: note: the letter O is no digit: is 0414 meant?"},
        {"84, O414\n", "t.dsc:1:5: note: unsafe fix: write 0414"},
        {"88;0418\n",
         "t.dsc:1:1: note: is ';' meant as ','? fields are separated by ',' or spaces"},
        {"88;0418\n", "t.dsc:1:3: note: unsafe fix: replace ';' with ','"},
        {"86, 0414,\n", "t.dsc:1:5: note: nothing follows the ',' after the code: delete it"},
        {"880418 // x\n", "t.dsc:1:8: note: is a comma missing after 88?"},
        {"880418 // x\n", "t.dsc:1:3: note: unsafe fix: insert ', ' after 88"},
        {"\xEF\xBB\xBF"
         "80, 0410\n",
         "t.dsc:1:1: note: the file starts with a UTF-8 byte order mark: save it without one"},
        {"80, 0410\n\xEF\xBB\xBF"
         "81, 0411\n",
         "t.dsc:2:1: note: the line starts with a UTF-8 byte order mark, as where files were "
         "joined: delete it"},
        {"80 , 0410\n", "t.dsc:1:4: error: the second field ',' is not a hexadecimal number"},
        {", 0410\n", "t.dsc:1:1: error: the first field is empty"},
        {"80,\n", "t.dsc:1:4: error: the second field is empty"},
        {"// c\n80\n",
         "t.dsc:2:1: error: no ',' or space after the first field '80': the line has no second "
         "field"},
        {"   \r\n", "t.dsc:1:1: error: a line of spaces only is not an empty line"},
        {"   \r\n", "t.dsc:1:1: note: delete the spaces"},
        {"80,\t0410\n", "t.dsc:1:4: note: a tab is not skipped as a space is: use spaces"},
        {"/ c\n", "t.dsc:1:1: note: a comment starts with '//'"},
        {data_lines(257), "t.dsc:257:1: error: a table holds at most 256 entries"},
        {"// none\n\n", "t.dsc: error: no entry: a table needs at least one"},
        {"1080, 0410\n",
         "t.dsc:1:1: warning: source code '1080' has more digits than a byte: it is read as 80 "
         "[-Wtruncated-field]"},
        {"0410, 80\n", "t.dsc:1:1: note: are the fields swapped? the byte comes first, then the "
                       "UNICODE code"},
        {"80, 010410\n",
         "t.dsc:1:5: warning: UNICODE code '010410' has more digits than 16 bits: it is read as "
         "0410 [-Wtruncated-field]"},
        {"80, 0410\n80, 0411\n",
         "t.dsc:2:1: warning: source code 80 is listed again [-Wduplicate-byte]"},
        {"80, 0410\n80, 0411\n", "t.dsc:1:1: note: first listed here"},
        {"80, 0410\n81, 0410\n",
         "t.dsc:2:5: warning: UNICODE code 0410 is listed again, for byte 81 [-Wduplicate-code]"},
        {"80, 0410\n81, 0410\n", "t.dsc:1:5: note: first listed here, for byte 80"},
        {"80, d800\n",
         "t.dsc:1:5: warning: UNICODE code D800 is a surrogate, not a character [-Wsurrogate]"},
        {"80, FDD0\n", "t.dsc:1:5: warning: UNICODE code FDD0 is a noncharacter [-Wnoncharacter]"},
        {"80, FDEF\n", "t.dsc:1:5: warning: UNICODE code FDEF is a noncharacter [-Wnoncharacter]"},
        {"80, FFFE\n", "t.dsc:1:5: warning: UNICODE code FFFE is a noncharacter [-Wnoncharacter]"},
        {"80, 0410 " + std::string(300, 'x') + "\n",
         "t.dsc:1:255: warning: the line has 254 characters or more: mapmaker reads it in "
         "pieces, and from column 255 on as another line [-Wlong-line]"},
        {"80, 0410 " + std::string(300, 'x') + "\n", "t.dsc:1:255: note: mapmaker counts this as "
                                                     "line 2"},
        {"80, 0410\r81, 0411\r\n",
         "t.dsc:1:9: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {"80, 0410\n\x1a"
         "81, 0411\n",
         "t.dsc:2:1: warning: text after a Ctrl-Z byte is never read [-Wctrl-z]"},
        // Text after the Ctrl-Z in the block read and none after it, and the other way round
        // (the last read of the rest one byte long).
        {"80, 0410\n\x1ax" + std::string(70000, '\n'),
         "t.dsc:2:1: warning: text after a Ctrl-Z byte is never read [-Wctrl-z]"},
        {"80, 0410\n\x1a" + std::string(65536 - 10 + 4096, '\n') + "x",
         "t.dsc:2:1: warning: text after a Ctrl-Z byte is never read [-Wctrl-z]"},
        {std::string("80, 04\0 10\n", 11),
         "t.dsc:1:7: warning: a NUL byte ends the text: mapmaker ignores the rest of the line "
         "[-Wnul]"},
        {"41, 0410\n",
         "t.dsc:1:1: warning: byte 41 lies in ASCII but maps to 0410, not 0041 [-Wascii]",
         {"all"}},
        {"80, 0410\n",
         "t.dsc: warning: bytes 80-FF that no entry lists: 81-FF [-Wunmapped]",
         {"all"}},
        {"FE, 0410\n",
         "t.dsc: warning: bytes 80-FF that no entry lists: 80-FD, FF [-Wunmapped]",
         {"all"}},
        {"80, 0410\n80, 0410\n",
         "t.dsc:2:1: error: source code 80 is listed again [-Werror,-Wduplicate-byte]",
         {"error"}},
        // Comment lines are passed over quickly, but not what hides in an indented one.
        {"  // a\rb\r\n80, 0410\r\n",
         "t.dsc:1:7: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {"// a\rb\r\n80, 0410\r\n",
         "t.dsc:1:5: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {std::string("  // a\0b\n80, 0410\n", 18),
         "t.dsc:1:7: warning: a NUL byte ends the text: mapmaker ignores the rest of the line "
         "[-Wnul]"},
        // Plain lines are counted in bulk after the first, but not those that hide a lone CR
        // or a NUL, and every line counts toward the line number.
        {"// x\r\n  // a\rb\r\n80, 0410\r\n",
         "t.dsc:2:7: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {"// x\r\n// a\rb\r\n80, 0410\r\n",
         "t.dsc:2:5: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {std::string("// x\n  // a\0b\n80, 0410\n", 23),
         "t.dsc:2:7: warning: a NUL byte ends the text: mapmaker ignores the rest of the line "
         "[-Wnul]"},
        {"//" + std::string(300, 'c') + "\n" + repeated("// c\n\n   // d\r\n", 10000) + "80\n",
         "t.dsc:30002:1: error: no ',' or space after the first field '80': the line has no "
         "second field"},
        {"//" + std::string(300, 'c') + "\n" + repeated("// c\n\n   // d\r\n", 10000) + "80\n",
         "t.dsc:30002:1: note: mapmaker counts this as line 30003"},
        // Lines are searched 64 bytes at a time: a CR last of them, and one long before
        // its line's end.
        {"// " + std::string(60, 'a') + "\rb\r\n80, 0410\r\n",
         "t.dsc:1:64: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
        {"// a\r" + std::string(100, 'b') + "\r\n80, 0410\r\n",
         "t.dsc:1:5: warning: a CR without an LF after it ends the text: mapmaker ignores the "
         "rest of the line [-Wlone-cr]"},
    };
    for (const report_case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        std::string report = check_text(c.bytes, c.warnings);
        report += "0 errors and 0 warnings"; // what a clean file ends with here
        EXPECT_NE(("\n" + report).find("\n" + c.expected), std::string::npos) << report;
    }
}

// Files with nothing to report: the whole report is empty.
TEST(Check, CleanFilesReportNothing) {
    const std::vector<report_case> cases = {
        {"80, 0410\n80, 0410\n", "", {"no-duplicate-byte"}},
        {"1080, 0410\n", "", {"no-truncated-field"}}, // the first class
        {"//x\r\n\r\n   // indented\r\n80, 0410\r\n", ""},
        {std::string("// a\0b\n80, 0410\n", 16), ""},
        {"// " + std::string(60, 'a') + "\r\n80, 0410\r\n", ""}, // CR LF across 64 bytes
        {"80, 0410\n\x1a\r\n\x1a", ""},      // nothing but line ends after the Ctrl-Z
        {"0, 0\n", ""},                      // fields of one zero
        {data_lines(256), "", {"unmapped"}}, // as many entries as a table holds
    };
    for (const report_case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(check_text(c.bytes, c.warnings), c.expected);
    }
}

// A file saved as UTF-16 gets one error that says so, whatever its bytes make of it.
TEST(Check, Utf16FileIsOneError) {
    const std::string le("8\0"
                         "0\0,\0 \0"
                         "0\0"
                         "4\0"
                         "1\0"
                         "0\0\n\0",
                         18);
    std::string be = le;
    be.insert(be.begin(), '\0');
    be.pop_back();
    for (const std::string& bytes :
         {"\xFF\xFE" + le, "\xFE\xFF" + be, le, be, "\xFF\xFE/\0/\0\x1A\x04\n\0" + le,
          le.substr(0, 4), std::string(" \0~\0", 4) + le, std::string("\0 \0~", 4) + be}) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(check_text(bytes), "t.dsc: error: the file is UTF-16 text: save it as UTF-8 or "
                                     "ASCII\n");
    }
}

TEST(Check, NameMismatchNeedsNames) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character names";
    }
    const std::string be = " but the code is U+0411 CYRILLIC CAPITAL LETTER BE [-Wname-mismatch]";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"80, 0411 // cyrillic capital letter a\n",
         "t.dsc:1:13: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // CYRILLIC CAPITAL LETTER A (Serbocroatian)\n",
         "t.dsc:1:13: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // U+0410 CYRILLIC CAPITAL LETTER A\n",
         "t.dsc:1:20: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // CYRILLIC CAPITAL LETTER VE\n", // a name as long as the code's
         "t.dsc:1:13: warning: the comment names U+0412 CYRILLIC CAPITAL LETTER VE," + be},
        {"80, 0411 // U+4 CYRILLIC CAPITAL LETTER A\n",
         "t.dsc:1:17: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // CYRILLIC CAPITAL LETTER A.\n",
         "t.dsc:1:13: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // \xD0\x90\n",
         "t.dsc:1:13: warning: the comment names U+0410 CYRILLIC CAPITAL LETTER A," + be},
        {"80, 0411 // \xE2\x82\xAC\n", // three bytes
         "t.dsc:1:13: warning: the comment names U+20AC EURO SIGN," + be},
        // The first and last lead byte of two bytes, and the first code of three.
        {"80, 0411 // \xC2\xA9\n",
         "t.dsc:1:13: warning: the comment names U+00A9 COPYRIGHT SIGN," + be},
        {"80, 0411 // \xDF\x80\n",
         "t.dsc:1:13: warning: the comment names U+07C0 NKO DIGIT ZERO," + be},
        {"80, 0411 // \xE0\xA0\x80\n",
         "t.dsc:1:13: warning: the comment names U+0800 SAMARITAN LETTER ALAF," + be},
        // Comments that name the code, or no character at all.
        {"80, 0410 // Cyrillic capital letter A\n81, 0411 // my note\n", ""},
        {"80, 0410 // U+0410 CYRILLIC CAPITAL LETTER A (Serbocroatian).\n", ""},
        {"80, 0411 // U+0410GREEK SMALL LETTER ALPHA\n", ""}, // no space after the code
        {"80, 0411 // U+ CYRILLIC CAPITAL LETTER A\n81, 0412 // U+X CYRILLIC CAPITAL LETTER A\n"
         "82, 0413 // CYRILLIC CAPITAL LETTER A(x)\n",
         ""},
        {"80, 0410 // \xD0\x90\n81, 0411 // \xD0\x91\xD0\x91\n82, 0412 // a\n", ""},
        // A three-byte form broken in its middle, and a surrogate's: no character.
        {"80, 0411 // \xE2"
         "A\x80\n",
         ""},
        {"80, 0411 // \xED\xA0\x80\n", ""},
        {"80, 0411 // \xED\xBF\xBF\n", ""},
        {"80, 0411 // CYRILLIC CAPITAL LETTER A, mostly\n81, 0412 // (CYRILLIC CAPITAL LETTER A)\n",
         ""},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(bytes);
        const std::string report = check_text(bytes);
        EXPECT_EQ(report.substr(0, report.find('\n')), expected);
    }
}

struct fix_case {
    std::string line;
    std::string safe;   // the line after the safe fixes
    std::string unsafe; // and after the first alternative of the unsafe ones too
    bool names = false; // needs character names
};

// Each fix, and each line that has none; fixing a fixed line changes nothing.
TEST(Check, FixesRepairTheLine) {
    const auto padded = [](std::size_t spaces, std::string_view name) {
        return "80," + std::string(spaces, ' ') + "0411 // CYRILLIC CAPITAL LETTER " +
               std::string(name) + "\n";
    };
    const std::string long_name = padded(217, "A");
    const auto no_end = [](const std::string& line) { return line.substr(0, line.size() - 1); };
    const auto crlf = [&](const std::string& line) { return no_end(line) + "\r\n"; };
    const std::vector<fix_case> cases = {
        {"0x80, 0410\n", "80, 0410\n", "80, 0410\n"},
        {"0X80, 0x0410 // A\n", "80, 0410 // A\n", "80, 0410 // A\n"},
        {"80, U+0410\r\n", "80, 0410\r\n", "80, 0410\r\n"},
        {"u+80, 0410", "80, 0410", "80, 0410"},
        {"80 , 0410\n", "80, 0410\n", "80, 0410\n"},
        {"80   ,0410\n", "80,0410\n", "80,0410\n"},
        {"80,\t0410\n", "80, 0410\n", "80, 0410\n"},
        {"80\t0410\t// x\n", "80 0410 // x\n", "80 0410 // x\n"},
        {"   \r\n", "\r\n", "\r\n"},
        {"\xEF\xBB\xBF"
         "80, 0410\n",
         "80, 0410\n", "80, 0410\n"},
        {"86, 0414,\n", "86, 0414\n", "86, 0414\n"},
        {"86, 0414, // x\n", "86, 0414 // x\n", "86, 0414 // x\n"},
        {"86, 0414,//x\n", "86, 0414//x\n", "86, 0414//x\n"},
        {"0x8, 0410\n", "8, 0410\n", "8, 0410\n"},
        {"80, U+8\n", "80, 8\n", "80, 8\n"},
        {"86, 4,\n", "86, 4\n", "86, 4\n"},
        // Hints: likely, not certain.
        {"84, O414\n", "84, O414\n", "84, 0414\n"},
        {"8o, 0414\n", "8o, 0414\n", "80, 0414\n"},
        {"88;0418\n", "88;0418\n", "88,0418\n"},
        {"88; 0418\n", "88; 0418\n", "88, 0418\n"},
        {"8;0418\n", "8;0418\n", "8,0418\n"},
        {"880418 // x\n", "880418 // x\n", "88, 0418 // x\n"},
        {"88418\n", "88418\n", "88, 418\n"},
        {"0x84, O414\n", "84, O414\n", "84, 0414\n"},
        // No certain repair, or no fault.
        {"80\n", "80\n", "80\n"},
        {"8804180\n", "8804180\n", "8804180\n"}, // too long for a byte and a code
        {";0418\n", ";0418\n", ";0418\n"},
        {"80,,\n", "80,,\n", "80,,\n"},
        {"86, 4G,\n", "86, 4G,\n", "86, 4G,\n"},
        {"86, 0414, 0415\n", "86, 0414, 0415\n", "86, 0414, 0415\n"},
        {"1080, 0410\n", "1080, 0410\n", "1080, 0410\n"},
        {"/ c\n", "/ c\n", "/ c\n"},
        {", 0410\n", ", 0410\n", ", 0410\n"},
        {"0x, 0410\n", "0x, 0410\n", "0x, 0410\n"},
        {"80, 0410 // x\n", "80, 0410 // x\n", "80, 0410 // x\n"},
        // The comment or the code: the comment is named anew first.
        {"80, 0411 // CYRILLIC CAPITAL LETTER A\n", "80, 0411 // CYRILLIC CAPITAL LETTER A\n",
         "80, 0411 // CYRILLIC CAPITAL LETTER BE\n", true},
        {"80, 0411 // U+0410 CYRILLIC CAPITAL LETTER A.\n",
         "80, 0411 // U+0410 CYRILLIC CAPITAL LETTER A.\n",
         "80, 0411 // U+0410 CYRILLIC CAPITAL LETTER BE.\n", true},
        {"80, 0411 // \xD0\x90\n", "80, 0411 // \xD0\x90\n", "80, 0411 // \xD0\x91\n", true},
        {"80, 0080 // CYRILLIC CAPITAL LETTER A\n", "80, 0080 // CYRILLIC CAPITAL LETTER A\n",
         "80, 0410 // CYRILLIC CAPITAL LETTER A\n", true},
        // A fix that would make the line two pieces for mapmaker is not made.
        {long_name, long_name, long_name, true},
        {padded(216, "A"), padded(216, "A"), padded(216, "BE"), true},
        // Nor one that would make a last line without its line end a full piece long,
        // which the next reading could not tell from the start of a longer line.
        {no_end(long_name), no_end(long_name), no_end(long_name), true},
        {no_end(padded(216, "A")), no_end(padded(216, "A")), no_end(padded(216, "BE")), true},
        // The CR of a CR LF counts for nothing.
        {crlf(long_name), crlf(long_name), crlf(long_name), true},
    };
    ASSERT_EQ(long_name.size(), LINE_PIECE_MAX);
    for (const fix_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        if (c.names && !names_available()) {
            continue;
        }
        EXPECT_EQ(fixed_line(c.line, fix_choice::safe), c.safe);
        EXPECT_EQ(fixed_line(c.unsafe, fix_choice::unsafe), c.unsafe);
        const std::string unsafe = fixed_line(c.line, fix_choice::unsafe);
        EXPECT_EQ(unsafe, c.unsafe);
        EXPECT_EQ(fixed_line(unsafe, fix_choice::unsafe), unsafe);
    }
}

// A file that cannot be read is no fixed copy: a folder read as a file fails.
TEST(Check, FixedCopyOfAnUnreadableFile) {
    std::FILE* folder = std::fopen(SOURCE_DIR, "rb");
    if (folder == nullptr) {
        GTEST_SKIP() << "a folder cannot be opened as a file here";
    }
    std::string copied;
    EXPECT_FALSE(copy_fixed(folder, fix_choice::safe, [&](std::string_view t) { copied += t; }));
    EXPECT_EQ(copied, "");
    std::fclose(folder);
}

// --- The programs, run as a user would -------------------------------------------------

// What standard output holds: text, or the bytes of a map written with -o -.
enum class output_kind { text, binary };

// Runs maptool in dir with the arguments after its name; the report comes back in LF lines.
program_result run(const temp_dir& dir, const std::vector<std::string>& arguments,
                   const std::string& input = "", output_kind out = output_kind::text) {
    std::vector<std::string> args = {"maptool"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    program_result result = run_program(MAPTOOL_PATH, dir.path(), args, input);
    if (out == output_kind::text) {
        result.out = from_text_mode(result.out);
    }
    result.err = from_text_mode(result.err);
    return result;
}

struct status_case {
    std::vector<std::string> arguments;
    int status;
    std::string out_start; // what standard output starts with
    std::string said = {}; // a piece of standard output or error
};

TEST(MaptoolCommand, ExitStatusesAndOptions) {
    const temp_dir dir;
    write_file(dir / "good.dsc", "//t -> UNICODE\n80, 0410\n");
    write_file(dir / "dup.dsc", "80, 0410\n80, 0411\n");
    write_file(dir / "bad.dsc", "80 , 0410\n");
    write_file(dir / "worse.dsc", "x\n80 , 0410\n80, 0410\n80, 0410\ny\n");
    write_file(dir / "late.dsc", "80, 0410\n80, 0411\nx\n");
    const std::vector<status_case> cases = {
        {{"check", "good.dsc"}, 0, "0 errors and 0 warnings in 1 file\n"},
        {{"check", "dup.dsc"}, 1, "dup.dsc:2:1: warning:"},
        {{"check", "good.dsc", "dup.dsc", "bad.dsc"}, 2, "dup.dsc:2:1: warning:"},
        {{"check", "-Wno-duplicate-byte", "dup.dsc"}, 0, "0 errors"},
        {{"check", "-Werror", "dup.dsc"}, 2, "dup.dsc:2:1: error:"},
        {{"check", "missing.dsc"}, 2, "missing.dsc: error: cannot open the file: "},
        {{"check", "-"}, 0, "0 errors"},
        {{"check", "--color=always", "bad.dsc"}, 2, "\033[1mbad.dsc:1:4:"},
        {{"check", "-Wbogus", "good.dsc"}, 2, ""},
        {{"check", "--format=yaml", "good.dsc"}, 2, ""},
        {{"check"}, 2, ""},
        {{"frobnicate"}, 2, ""},
        {{"--help"},
         0,
         "Usage: maptool VERB",
         "\nChecks, builds, reads, compares, imports, exports, converts through and draws\n"
         "8-bit code page tables.\n\nVerbs:\n"
         "  check     Report every problem of DSC files, as mapmaker would read them\n"
         "  fmt       Rewrite DSC files in one layout, with the same map; - formats\n"
         "            standard input\n"},
        {{"help", "lsp"}, 0, "Usage: maptool lsp [OPTIONS]\n"},
        {{"help", "dump"},
         0,
         "Usage: maptool dump [OPTIONS] SOURCE\n",
         "map file converts back to the very same bytes\n\n"
         "  SOURCE                The table: a map file, or any other table source; -\n"
         "                        reads standard input\n\nOptions:\n"},
        // -W may be given again, zsh is told.
        {{"completion", "zsh"}, 0, "#compdef maptool\n", "\n      '*-W+[Warnings: "},
        {{"help", "build"}, 0, "Usage: maptool build [OPTIONS] FILE...\nConvert DSC files"},
        {{"check", "--help"}, 0, "Usage: maptool check", "\nReport every problem"},
        {{"--version"},
         0,
         "maptool " MAPTOOL_VERSION + std::string(names_available()
                                                      ? " (character names from "
                                                      : " (built without character names)\n")},
        {{"build", "-o", "x.map", "good.dsc", "dup.dsc"}, 2, ""},
        // Each option takes its own value only, and stands anywhere after the verb.
        {{"check", "-Werror", "dup.dsc", "good.dsc"}, 2, "dup.dsc:2:1: error:", "in 2 files"},
        {{"check", "-W", "error", "dup.dsc"}, 2, "dup.dsc:2:1: error:"},
        {{"build", "-Werror", "good.dsc", "-o", "x.map"}, 0, "x.map: 1 entries\n"},
        {{"check", "good.dsc", "--format", "json", "-Wall"}, 1, "[\n"},
        {{"check", "--", "-Wall"}, 2, "-Wall: error: cannot open the file"},
        {{"chek", "good.dsc"}, 2, "", "maptool: unknown verb 'chek'; did you mean 'check'?\n"},
        {{"frobnicate"}, 2, "", "the verbs are check, fmt, build, dump, diff, import"},
        // Two edits away is near enough, two letters swapped being one edit; three is not.
        {{"chk"}, 2, "", "maptool: unknown verb 'chk'; did you mean 'check'?\n"},
        {{"hcekc"}, 2, "", "maptool: unknown verb 'hcekc'; did you mean 'check'?\n"},
        {{"xxxck"}, 2, "", "maptool: unknown verb 'xxxck'; the verbs are check, fmt, build"},
        {{"dxmpx"}, 2, "", "maptool: unknown verb 'dxmpx'; did you mean 'dump'?\n"},
        {{"xhcekc"}, 2, "", "maptool: unknown verb 'xhcekc'; the verbs are check, fmt, build"},
        {{"chte"}, 2, "", "maptool: unknown verb 'chte'; the verbs are check, fmt, build"},
        {{"help", "biuld"}, 2, "", "unknown verb 'biuld'; did you mean 'build'?"},
        {{"-q", "check", "good.dsc"}, 2, "", "'-q' stands before the verb: options come after it"},
        {{"help"}, 0, "Usage: maptool VERB", "\n  check     Report every problem"},
        {{"help"}, 0, "Usage: maptool VERB", "as --version does\n\nOptions:"}, // completion hidden
        {{"help", "check"}, 0, "Usage: maptool check", "\n  name-mismatch\n  long-line"},
        {{"help", "build"}, 0, "Usage: maptool build", "\n  ascii (off)\n"},
        {{"help", "convert"},
         0,
         "Usage: maptool convert [OPTIONS] [FILE...]\n",
         "\n  --replace[=CHAR]  "},
        {{"check", "-Wbogus", "good.dsc"}, 2, "", "'-Wbogus'; the classes are truncated-field, "},
        // After N errors of a file, one line says how many more; the count has them all.
        {{"check", "--max-errors=2", "worse.dsc", "bad.dsc"},
         2,
         "worse.dsc:1:1: error:",
         "worse.dsc: note: 1 more error and 1 warning not shown, after --max-errors\n"
         "bad.dsc:1:4: error:"},
        {{"check", "--max-errors", "1", "worse.dsc"}, 2, "", "\n3 errors and 1 warning in 1 file"},
        {{"check", "--max-errors=0", "worse.dsc"}, 2, "", "worse.dsc:5:1: error:"},
        {{"check", "--max-errors=1", "late.dsc"}, 2, "", "late.dsc:3:1: error:"}, // errors only
        {{"check", "--max-errors=x", "good.dsc"}, 2, "", "--max-errors: 'x' is not a number"},
        {{"check", "--max-errors=1x", "good.dsc"}, 2, "", "--max-errors: '1x' is not a number"},
        {{"-V"}, 0, "maptool " MAPTOOL_VERSION " ("},
        {{"version"}, 0, "maptool " MAPTOOL_VERSION " ("},
        {{"check", "-Wextra", "good.dsc"}, 1, "good.dsc: warning: bytes 80-FF that no entry"},
        {{"build", "good.dsc", "missing.dsc", "bad.dsc"},
         2,
         "good.map: 1 entries\n",
         "\n2 of 3 maps not written\n"},
        // Usage errors name the verb and its usage line, in maptool's words.
        {{"check", "-l", "good.dsc"},
         2,
         "",
         "maptool check: unknown option '-l'\n"
         "Usage: maptool check [OPTIONS] FILE...; see 'maptool help check'\n"},
        {{"check", "--colr=never", "good.dsc"}, 2, "", "'--colr=never'; did you mean '--color'?"},
        {{"diff", "good.dsc"},
         2,
         "",
         "maptool diff: B is missing\nUsage: maptool diff [OPTIONS] A B; see 'maptool help "
         "diff'\n"},
        {{"dump", "good.dsc", "dup.dsc"}, 2, "", "maptool dump: 'dup.dsc' is one word too many\n"},
        {{"dump"}, 2, "", "maptool dump: SOURCE is missing\nUsage: maptool dump [OPTIONS] SOURCE;"},
        {{"export"}, 2, "", "maptool export: SOURCE is missing\n"},
        {{"export", "--color=never", "good.dsc"}, 0, "# generated by maptool export from "},
        {{"fmt", "--check", "--color=never", "good.dsc"}, 0, ""},
        {{"completion"}, 2, "", "maptool completion: WHAT is missing\n"},
        {{"import", "good.dsc", "--iconv", "CP1251"},
         2,
         "",
         "maptool import: SOURCE and --iconv cannot be given together\n"},
        {{"import"},
         2,
         "",
         "import: SOURCE or --iconv NAME is required\nUsage: maptool import [OPTIONS] [SOURCE];"},
        // ...and only both of them are said to be given together.
        {{"import", "--iconv", "CP1251", "--no-names=x"},
         2,
         "",
         "maptool import: cannot read the command line: "},
        {{"import", "good.dsc", "--no-names=x"},
         2,
         "",
         "maptool import: cannot read the command line: "},
        {{"convert", "--from"}, 2, "", "maptool convert: -f/--from needs a value: TABLE\n"},
        {{"check", "--format=yaml", "good.dsc"},
         2,
         "",
         "maptool check: --format: 'yaml' is none of text, json, sarif\n"},
        {{"which", "-n", "", "good.dsc"}, 2, "", "maptool which: --best: '' is no number\n"},
        {{"which"}, 2, "", "maptool which: FILE is missing\n"},
        {{}, 2, "", "maptool: no verb given\n"},
        {{"diff", "-", "-"},
         2,
         "",
         "maptool diff: A and B: only one of them can be standard input\n"},
        {{"build", "-", "good.dsc"},
         2,
         "good.map: 1 entries\n",
         "<stdin>: error: standard input needs -o to name its map file\n"},
        // A path that starts with '/' is a file on Windows too, never an option.
        {{"check", (dir / "good.dsc").string()}, 0, "0 errors"},
    };
    for (const status_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_result result = run(dir, c.arguments, "80, 0410\n");
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out.substr(0, c.out_start.size()), c.out_start);
        EXPECT_NE((result.out + result.err).find(c.said), std::string::npos) << result.err;
        // A usage error is told on standard error, with a usage line.
        EXPECT_EQ(result.status == 2 && result.out.empty(),
                  result.err.find("Usage: maptool") != std::string::npos);
        // ...the verb's own, when the verb was known: "maptool check: ...".
        const std::string verb = result.err.substr(0, result.err.find(':'));
        if (result.err.find("Usage: maptool") != std::string::npos) {
            EXPECT_NE(result.err.find("Usage: " + (verb == "maptool" ? "maptool VERB" : verb)),
                      std::string::npos);
        }
    }
}

// Every verb's help as `maptool help VERB` prints it, for every verb maptool declares: each
// option it lists is taken, each option the parser takes is listed, no markup of the option
// library shows, and `maptool help` lists the verb.
TEST(MaptoolCommand, HelpListsWhatEachVerbTakes) {
    const temp_dir dir;
    command_line line("", "");
    add_verbs(line);
    line.add_own_verbs();
    line.add_own_verbs(); // as running the line does again: once is all it adds
    EXPECT_EQ(std::count_if(line.verbs().begin(), line.verbs().end(),
                            [](const verb_declaration& verb) { return verb.name == "help"; }),
              1);
    const std::string verbs = run(dir, {"help"}).out;
    for (const verb_declaration& verb : line.verbs()) {
        if (verb.hidden) {
            continue;
        }
        SCOPED_TRACE(verb.name);
        EXPECT_NE(verbs.find("\n  " + verb.name + " "), std::string::npos);
        const program_result help = run(dir, {"help", verb.name});
        ASSERT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.out.rfind("Usage: maptool " + verb.name, 0), 0U) << help.out;
        for (const char* markup : {"TEXT", "{", "REQUIRED", "Excludes", "Positionals"}) {
            EXPECT_EQ(help.out.find(markup), std::string::npos) << markup << " in\n" << help.out;
        }
        // "  -o, --output FILE   The map file": the names, then what the option takes.
        std::set<std::string> listed;
        std::istringstream lines(help.out);
        for (std::string row; std::getline(lines, row);) {
            if (!row.starts_with("  -")) {
                continue;
            }
            std::istringstream words(row.substr(2, row.find("  ", 2) - 2));
            std::vector<std::string> names;
            for (std::string word; words >> word;) {
                names.push_back(word.substr(0, word.find_first_of(",[")));
            }
            const std::string value = names.back().starts_with('-') ? "" : names.back();
            for (const std::string& name : names) {
                if (!name.starts_with('-')) {
                    continue;
                }
                listed.insert(name);
                std::vector<std::string> arguments = {verb.name, name};
                if (!value.empty()) {
                    arguments.push_back("x");
                }
                const program_result taken = run(dir, arguments);
                EXPECT_EQ(taken.err.find("unknown option"), std::string::npos) << taken.err;
                EXPECT_EQ(taken.err.find("needs a value"), std::string::npos) << taken.err;
            }
        }
        const std::vector<std::string> parsed = line.parsed_names(verb.name);
        EXPECT_EQ(listed, std::set<std::string>(parsed.begin(), parsed.end()));
    }
}

// Help puts what an option does in its column, two spaces after the longest names that
// fit, and on a line of its own after longer ones; text fills lines of up to 80 columns.
TEST(MaptoolCommand, HelpColumnAfterTheNames) {
    const std::string a79(79, 'a');
    const std::string c78(78, 'c');
    const verb_declaration verb = {
        .name = "v",
        .description = a79 + " b " + c78 + " d",
        .options = {{.names = {"--abcdefghijklmnopqr"}, .value = "", .help = "Fits"},
                    {.names = {"--abcdefghijklmnopqrs"}, .value = "", .help = "Wraps"}},
        .footer = ""};
    const std::string help = verb_help(verb);
    for (const std::string& row :
         {std::string("\n  --abcdefghijklmnopqr  Fits\n"),
          std::string("\n  --abcdefghijklmnopqrs\n                        Wraps\n"),
          "\n" + a79 + "\nb " + c78 + "\nd\n"}) {
        EXPECT_NE(help.find(row), std::string::npos) << row << "in\n" << help;
    }
}

// Each shell's script, for one verb holding every kind of declaration: a required word, an
// optional one, an option with a value, a repeatable one, one whose value may be left out,
// a flag, a choice; help text with the characters zsh escapes; a hidden verb left out.
TEST(Completion, EachShellTakesEveryKindOfDeclaration) {
    std::deque<verb_declaration> verbs(2);
    verbs[0] = {
        .name = "v",
        .description = "Do it",
        .options = {{.names = {"SOURCE"},
                     .value = "TABLE",
                     .help = "The table",
                     .is_word = true,
                     .required = true},
                    {.names = {"EXTRA"}, .value = "DSC", .help = "More", .is_word = true},
                    {.names = {"-o", "--output"}, .value = "FILE", .help = "Out [here]"},
                    {.names = {"-W"}, .value = "VERB", .help = "a\\b", .many = true},
                    {.names = {"--replace"}, .value = "CHAR", .help = "R", .value_optional = true},
                    {.names = {"-q"}, .value = "", .help = "Quiet"},
                    {.names = {"--format"}, .value = "FORMAT", .help = "F", .choices = {"a", "b"}}},
        .footer = ""};
    verbs[1] = {
        .name = "secret", .description = "Hidden", .options = {}, .footer = "", .hidden = true};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"bash", "    v)\n"
                 "        options='-o --output= -W --replace -q --format='\n"
                 "        values=( [-o]=FILE [--output]=FILE [-W]='{v}' [--format]='{a b}' )\n"
                 "        kinds=(TABLE DSC) ;;\n"},
        {"zsh", "  (v)\n"
                "    _arguments -s -S : \\\n"
                "      ':SOURCE:_maptool_table' \\\n"
                "      '::EXTRA:_files -g '\\''*.dsc(-.)'\\''' \\\n"
                "      '-o+[Out \\[here\\]]:FILE:_files' \\\n"
                "      '--output=[Out \\[here\\]]:FILE:_files' \\\n"
                "      '*-W+[a\\\\b]:VERB:(v)' \\\n"
                "      '--replace=-[R]:CHAR: ' \\\n"
                "      '-q[Quiet]' \\\n"
                "      '--format=[F]:FORMAT:(a b)'\n"
                "    ;;\n"},
        {"fish",
         "complete -c maptool -n __maptool_no_verb -a v -d 'Do it'\n"
         "complete -c maptool -n '__maptool_verb_is v' -x -a '(__maptool_table)' -d 'The table'\n"
         "complete -c maptool -n '__maptool_verb_is v' -x -a '(__maptool_files dsc)' -d 'More'\n"
         "complete -c maptool -n '__maptool_verb_is v' -s o -l output -r -F -d 'Out [here]'\n"
         "complete -c maptool -n '__maptool_verb_is v' -s W -x -a 'v' -d 'a\\b'\n"
         "complete -c maptool -n '__maptool_verb_is v' -l replace -d 'R'\n"
         "complete -c maptool -n '__maptool_verb_is v' -s q -d 'Quiet'\n"
         "complete -c maptool -n '__maptool_verb_is v' -l format -x -a 'a b' -d 'F'\n"},
    };
    for (const auto& [shell, part] : cases) {
        const std::string script = completion_script(verbs, shell);
        EXPECT_NE(script.find(part), std::string::npos) << shell << ":\n" << script;
        EXPECT_EQ(script.find("secret"), std::string::npos) << shell << ":\n" << script;
    }
    EXPECT_EQ(completion_script(verbs, "csh"), "");
}

// -q leaves the findings alone; build's JSON report is check's, on standard output unless
// the map goes there.
TEST(MaptoolCommand, QuietAndJsonReports) {
    const temp_dir dir;
    write_file(dir / "dup.dsc", "80, 0410\n80, 0411\n");
    write_file(dir / "good.dsc", "80, 0410\n");
    struct report_case {
        std::vector<std::string> arguments;
        std::string out;
        std::string err;
    };
    const std::string warning = "dup.dsc:2:1: warning: source code 80 is listed again "
                                "[-Wduplicate-byte]\n    2 | 80, 0411\n      | ^~\n"
                                "dup.dsc:1:1: note: first listed here\n";
    const std::vector<report_case> cases = {
        {{"check", "-q", "dup.dsc", "good.dsc"}, warning, ""},
        {{"check", "good.dsc", "--quiet"}, "", ""},
        {{"build", "dup.dsc", "good.dsc", "-q"}, "", warning},
        {{"build", "--format=json", "good.dsc"}, "[]\n", ""},
    };
    for (const report_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_result result = run(dir, c.arguments);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
    const program_result checked = run(dir, {"check", "--format=json", "dup.dsc"});
    const program_result built = run(dir, {"build", "--format=json", "dup.dsc", "-o", "x.map"});
    EXPECT_EQ(built.out, checked.out);
    EXPECT_EQ(nlohmann::json::parse(built.out)[0]["class"], "duplicate-byte");
    const program_result piped =
        run(dir, {"build", "--format=json", "dup.dsc", "-o", "-"}, "", output_kind::binary);
    EXPECT_EQ(piped.out, read_file(dir / "x.map"));
    EXPECT_EQ(piped.err, checked.out);
}

TEST(MaptoolCommand, JsonReportParsesBack) {
    const temp_dir dir;
    write_file(dir / "t.dsc", "80, 0410\n80, 0411\n//" + std::string(258, 'c') + "\n\xD0\x96\n");
    const program_result result = run(dir, {"check", "--format=json", "t.dsc"});
    EXPECT_EQ(result.status, 2);
    const nlohmann::json findings = nlohmann::json::parse(result.out);
    ASSERT_EQ(findings.size(), 4u) << result.out;
    EXPECT_EQ(findings[0]["class"], "duplicate-byte");
    EXPECT_EQ(findings[0]["severity"], "warning");
    EXPECT_EQ(findings[0]["notes"][0], "first listed here");
    EXPECT_EQ(findings[0]["end_column"], 2);
    EXPECT_EQ(findings[0]["children"][0]["end_column"], 2);
    EXPECT_EQ(findings[0]["fixes"], nlohmann::json::array());
    EXPECT_EQ(findings[1]["class"], "long-line");
    EXPECT_EQ(findings[1]["end_column"], 255);   // one byte: it ends where it starts
    EXPECT_EQ(findings[2]["severity"], "error"); // the rest of the long line, a piece of its own
    EXPECT_EQ(findings[2]["line"], 3);
    EXPECT_EQ(findings[2]["column"], 255);
    EXPECT_EQ(findings[2]["mapmaker_line"], 4);
    EXPECT_EQ(findings[3]["mapmaker_line"], 5);
    EXPECT_TRUE(findings[3]["class"].is_null());
    EXPECT_NE(result.out.find("field '\xD0\x96'"), std::string::npos) << result.out; // not \u0416

    // Each fix with its edits: the bytes from column up to next_column replaced by text.
    write_file(dir / "fix.dsc", "80, 0410\n0x81, O411\n");
    const nlohmann::json fixed =
        nlohmann::json::parse(run(dir, {"check", "--format=json", "fix.dsc"}).out);
    ASSERT_EQ(fixed.size(), 1u);
    EXPECT_EQ(fixed[0]["end_column"], 4);
    EXPECT_EQ(fixed[0]["fixes"],
              nlohmann::json::parse(R"([{"description": "delete 0x", "safe": true, "edits":
                  [{"line": 2, "column": 1, "next_column": 5, "text": "81"}]}])"));

    write_file(dir / "empty.dsc", "// a\n\n");
    const nlohmann::json empty =
        nlohmann::json::parse(run(dir, {"check", "--format=json", "empty.dsc"}).out);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_TRUE(empty[0]["line"].is_null());
    EXPECT_TRUE(empty[0]["column"].is_null());
    EXPECT_EQ(empty[0]["mapmaker_line"], 2);
    EXPECT_EQ(empty[0]["notes"], nlohmann::json::array()); // that line is for the whole file

    // The SARIF log of a line read in two pieces (its second piece's columns counted in
    // characters of the whole line: 12 + 121 before it), a fix, and a finding about the
    // whole file; a name a URI escapes.
    std::string cyrillic;
    for (int i = 0; i < 130; ++i) {
        cyrillic += "\xD0\x96";
    }
    write_file(dir / "A b-_~.dsc", "80, 0410 // " + cyrillic + "\n0x81, 0411\n");
    const std::string absolute = utf8_from(dir / "A b-_~.dsc");
    const std::string log =
        run(dir, {"check", "--format=sarif", "-Wall", "A b-_~.dsc", absolute}).out;
    EXPECT_NE(log.find("\xD0\x96"), std::string::npos); // not \u0416
    const nlohmann::json sarif = nlohmann::json::parse(log);
    const std::vector<std::pair<std::string, nlohmann::json>> expected = {
        {"/version", "2.1.0"},
        {"/runs/0/tool/driver/name", "maptool"},
        {"/runs/0/columnKind", "unicodeCodePoints"},
        {"/runs/0/results/0/ruleId", "long-line"},
        {"/runs/0/results/0/level", "warning"},
        {"/runs/0/results/0/properties/mapmakerLine", 2},
        {"/runs/0/results/0/relatedLocations/0/id", 0},
        {"/runs/0/results/1/ruleId", "no-separator"},
        {"/runs/0/results/1/level", "error"},
        {"/runs/0/results/1/locations/0/physicalLocation",
         {{"artifactLocation", {{"uri", "A%20b-_~.dsc"}}},
          {"region", {{"startLine", 1}, {"startColumn", 134}, {"endColumn", 143}}}}},
        {"/runs/0/results/2/ruleId", "first-field-bad"},
        {"/runs/0/results/2/fixes/0",
         {{"description", {{"text", "delete 0x"}}},
          {"artifactChanges",
           {{{"artifactLocation", {{"uri", "A%20b-_~.dsc"}}},
             {"replacements",
              {{{"deletedRegion", {{"startLine", 2}, {"startColumn", 1}, {"endColumn", 5}}},
                {"insertedContent", {{"text", "81"}}}}}}}}},
          {"properties", {{"safe", true}}}}},
        {"/runs/0/results/3/ruleId", "unmapped"},
        {"/runs/0/results/3/locations/0/physicalLocation",
         {{"artifactLocation", {{"uri", "A%20b-_~.dsc"}}}}},
    };
    for (const auto& [pointer, value] : expected) {
        EXPECT_EQ(sarif.value(nlohmann::json::json_pointer(pointer), nlohmann::json()), value)
            << pointer;
    }
    for (const nlohmann::json& rule : sarif["runs"][0]["tool"]["driver"]["rules"]) {
        EXPECT_NE(rule["id"], ""); // a rule for each class and kind, and no more
    }
    const nlohmann::json& results = sarif["runs"][0]["results"];
    ASSERT_EQ(results.size(), 8u);
    for (const nlohmann::json& result : results) {
        // Each result's rule is the one at its index.
        EXPECT_EQ(sarif["runs"][0]["tool"]["driver"]["rules"]
                       [result["ruleIndex"].get<std::size_t>()]["id"],
                  result["ruleId"]);
    }
    const std::string uri =
        results[4]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"];
    EXPECT_TRUE(uri.starts_with("file:///") && uri.ends_with("/A%20b-_~.dsc")) << uri;

    // A drive's colon is kept, any other escaped; the ends of the letters and digits are
    // kept. Files that are not there are named all the same.
    const nlohmann::json names = nlohmann::json::parse(
        run(dir, {"check", "--format=sarif", "c:/", "a:bc", "azAZ09.dsc"}).out);
    std::string uris;
    for (const nlohmann::json& each : names["runs"][0]["results"]) {
        uris +=
            each["locations"][0]["physicalLocation"]["artifactLocation"]["uri"].get<std::string>() +
            ' ';
    }
    EXPECT_EQ(uris, "file:///c:/ a%3Abc azAZ09.dsc ");
    // A file with nothing to report: the log with no results.
    write_file(dir / "clean.dsc", "80, 0410\n");
    EXPECT_EQ(nlohmann::json::parse(run(dir, {"check", "--format=sarif", "clean.dsc"}).out)
                  .value(nlohmann::json::json_pointer("/runs/0/results"), nlohmann::json()),
              nlohmann::json::array());
}

struct fix_file_case {
    std::vector<std::string> arguments; // the files are a.dsc and b.dsc
    std::string before;
    std::string after; // a.dsc afterwards
    int status;
    std::string said; // a piece of the report
};

// check --fix writes the repairs and reports what is left, with the status of what is left;
// --diff shows them and writes nothing; a file with nothing to fix is not written.
TEST(MaptoolCommand, CheckFixRewritesWhatItCan) {
    const std::string utf16("\xFF\xFE"
                            "0\0x\0"
                            "8\0"
                            "0\0,\0 \0"
                            "4\0\n\0",
                            18);
    // After the Ctrl-Z, more than the first block read.
    const std::string after_ctrl_z = "0x81 rest\r\n" + std::string(70000, 'j');
    // Its second piece, from column 255 on, is "0x81, 0411" to mapmaker.
    const std::string long_line = "0x80, 0410 //" + std::string(241, 'c') + "0x81, 0411\n";
    const std::vector<fix_file_case> cases = {
        {{"--fix", "a.dsc"},
         "0x80, 0410\r\n81 , 0411\r\n82, O412\r\n",
         "80, 0410\r\n81, 0411\r\n82, O412\r\n",
         2,
         "a.dsc:3:5: error: the second field 'O412'"},
        {{"--fix", "--unsafe-fixes", "a.dsc"},
         "0x80, 0410\n82, O412\n",
         "80, 0410\n82, 0412\n",
         0,
         "0 errors and 0 warnings in 1 file"},
        {{"--unsafe-fixes", "a.dsc"}, "82, O412", "82, 0412", 0, "0 errors"},
        {{"--fix", "a.dsc"},
         "80, 0410\n80, 0410\n",
         "80, 0410\n80, 0410\n",
         1,
         "a.dsc:2:1: warning: source code 80 is listed again"},
        // A file larger than what is written at a time: each part written once.
        {{"--fix", "a.dsc"},
         "0x80, 0410\n" + repeated("// c\n", 20000),
         "80, 0410\n" + repeated("// c\n", 20000),
         0,
         "0 errors"},
        // Given twice, or by another name: fixed once, counted once.
        {{"--fix", "a.dsc", "./a.dsc", "a.dsc"},
         "0x80, 0410\n",
         "80, 0410\n",
         0,
         "0 errors and 0 warnings in 1 file"},
        {{"--fix", "--diff", "a.dsc"},
         "0x80, 0410\n",
         "0x80, 0410\n",
         0,
         "--- a.dsc\n+++ a.dsc\n@@ -1 +1 @@\n-0x80, 0410\n+80, 0410\n0 errors"},
        // What follows a Ctrl-Z, and the pieces of a long line after the first, stay.
        {{"--fix", "a.dsc"},
         "0x80, 0410\n\x1a" + after_ctrl_z,
         "80, 0410\n\x1a" + after_ctrl_z,
         1,
         "[-Wctrl-z]"},
        {{"--fix", "a.dsc"}, long_line, long_line, 2, "a.dsc:1:255: error: the first field '0x81'"},
        {{"--fix", "a.dsc"},
         long_line + "0x82, 0412\n",
         long_line + "82, 0412\n",
         2,
         "a.dsc:1:255: error: the first field '0x81'"},
        // What check refuses stays as it was.
        {{"--fix", "a.dsc"}, utf16, utf16, 2, "a.dsc: error: the file is UTF-16 text"},
        {{"--fix", "-"},
         "",
         "",
         2,
         "<stdin>: error: standard input cannot be fixed: name a file\n"
         "1 error and 0 warnings in 1 file"},
        {{"--fix", "missing.dsc", "a.dsc"},
         "0x80, 0410\n",
         "80, 0410\n",
         2,
         "missing.dsc: error: cannot open the file"},
    };
    for (const fix_file_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const temp_dir dir;
        write_file(dir / "a.dsc", c.before);
        std::vector<std::string> arguments = {"check"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        // A diff is the file's bytes as they are, on every system.
        const bool diff =
            std::find(arguments.begin(), arguments.end(), "--diff") != arguments.end();
        const program_result result =
            run(dir, arguments, "0x80, 0410\n", diff ? output_kind::binary : output_kind::text);
        EXPECT_EQ(result.status, c.status) << result.out << result.err;
        EXPECT_NE((result.out + result.err).find(c.said), std::string::npos)
            << result.out << result.err;
        EXPECT_EQ(read_file(dir / "a.dsc"), c.after);
        // Fixed once more, nothing changes and nothing is written.
        const auto written = fs::last_write_time(dir / "a.dsc");
        fs::last_write_time(dir / "a.dsc", written - std::chrono::hours(1));
        run(dir, arguments);
        EXPECT_EQ(read_file(dir / "a.dsc"), c.after);
        EXPECT_EQ(fs::last_write_time(dir / "a.dsc"), written - std::chrono::hours(1));
        // No temporary file is left behind.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

// After --fix, a file whose errors all had certain repairs is one mapmaker converts.
TEST(MaptoolCommand, FixedFileBuildsWithMapmaker) {
    const temp_dir dir;
    write_file(dir / "t.dsc", "// t\r\n0x80, 0X0410\r\n81 ,\t0411 //x\r\n   \r\n82, 0412,\r\n"
                              "U+83, u+0413\r\n\xEF\xBB\xBF"
                              "84, 0414\r\n");
    EXPECT_NE(run_program(MAPMAKER_PATH, dir.path(), {"mapmaker", "t.dsc"}).status, 0);
    EXPECT_EQ(run(dir, {"check", "--fix", "t.dsc"}).status, 0);
    EXPECT_EQ(run_program(MAPMAKER_PATH, dir.path(), {"mapmaker", "t.dsc"}).status, 0);
    EXPECT_EQ(read_file(dir / "t.map").size(), 2u + 3 * 5); // five entries
}

TEST(MaptoolCommand, FailedBuildLeavesTheOldMapAlone) {
    const temp_dir dir;
    fs::create_directory(dir / "tables");
    const std::string old_map("\x00\x01\x80\x04\x10", 5);
    write_file(dir / "tables/cp866.map", old_map);
    for (const std::string& bad : {std::string("80 , 0410\n"), std::string("// none\n"),
                                   std::string("80, 0410\n80, 0411\n")}) {
        SCOPED_TRACE(bad);
        write_file(dir / "tables/cp866.dsc", bad);
        const program_result result = run(dir, {"build", "-Werror", "tables/cp866.dsc"});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("tables/cp866.dsc:"), std::string::npos);
        EXPECT_EQ(read_file(dir / "tables/cp866.map"), old_map);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "tables"), fs::directory_iterator()),
                  2);
    }
    write_file(dir / "x.map", "80, 0410\n");
    EXPECT_EQ(run(dir, {"build", "x.map"}).status, 2);
    EXPECT_EQ(read_file(dir / "x.map"), "80, 0410\n");
}

// A link stays a link and the file it names gets the map; a device is written in place,
// never replaced by a file (as root, replacing /dev/null would break the machine).
TEST(MaptoolCommand, BuildWritesThroughLinksAndIntoDevices) {
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links and /dev are POSIX matters";
#else
    const temp_dir dir;
    write_file(dir / "t.dsc", "80, 0410\n");
    const std::string map("\x00\x01\x80\x04\x10", 5);
    write_file(dir / "old.map", "old");
    fs::create_symlink("new.map", dir / "dangling.map");
    fs::create_symlink("old.map", dir / "existing.map");
    fs::create_symlink(dir / "old.map", dir / "absolute.map");
    fs::create_directory(dir / "sub");
    fs::create_symlink("inner.map", dir / "sub/relative.map"); // from the link's folder
    struct link_case {
        const char* target;
        const char* named; // the file the link names, which gets the map
    };
    for (const link_case& c :
         {link_case{"dangling.map", "new.map"}, link_case{"existing.map", "old.map"},
          link_case{"absolute.map", "old.map"}, link_case{"sub/relative.map", "sub/inner.map"}}) {
        SCOPED_TRACE(c.target);
        write_file(dir / "old.map", "old");
        EXPECT_EQ(run(dir, {"build", "t.dsc", "-o", c.target}).status, 0);
        EXPECT_TRUE(fs::is_symlink(dir / c.target));
        EXPECT_EQ(read_file(dir / c.named), map);
    }
    // A named pipe stands for every device here: one made in the scratch folder, read
    // without waiting, so that a broken build fails the test rather than hanging it.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int reader = ::open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    write_file(dir / "old.map", map);
    EXPECT_EQ(run(dir, {"build", "t.dsc", "-o", "pipe"}).status, 0);
    EXPECT_EQ(run(dir, {"dump", "--no-names", "old.map", "-o", "pipe"}).status, 0);
    char got[64] = {};
    const ssize_t size = ::read(reader, got, sizeof got);
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(std::string(got, size > 0 ? static_cast<std::size_t>(size) : 0),
              map + "//old -> UNICODE\n80, 0410\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 8);
#endif
}

// The names in a folder, sorted; on Windows also in a folder whose path is longer than
// MinGW's directory listing takes.
std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
#if defined(_WIN32)
    WIN32_FIND_DATAW found;
    const std::wstring pattern = L"\\\\?\\" + fs::path(folder).make_preferred().wstring() + L"\\*";
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(utf8_from(fs::path(name)));
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
#else
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(utf8_from(entry.path().filename()));
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}

// Names beyond any ANSI code page, in a folder named so too, a path longer than Windows'
// 260 characters, and paths that start with '/': every verb takes them as the paths they
// are, and the messages and JSON name them in UTF-8.
TEST(MaptoolCommand, NamesAndPathsAsGiven) {
    const temp_dir dir;
    const std::string folder = "José таблицы 日本";
    std::string deep = folder;
    while (deep.size() < 300) {
        deep.append(1, '/').append(40, 'd'); // not "/" + string: GCC 12 warns wrongly of overlap
    }
    std::error_code failed;
    fs::create_directories(dir.path() / utf8_path(deep), failed);
    if (failed) {
        GTEST_SKIP() << "no folder path of 300 characters here: " << failed.message();
    }
    write_file(dir.path() / utf8_path(folder + "/таблица.dsc"), "80, 0410\n80, 0411\n");
    write_file(dir.path() / utf8_path(deep + "/cp866.dsc"), "80, 0410\n");
    write_file(dir.path() / utf8_path(deep + "/t.txt"), "0x80\t0x0410\n");
    fs::create_directory(dir / "sub");
    const std::string named = folder + "/таблица";
    struct path_case {
        std::vector<std::string> arguments;
        int status;
        std::string out_start;
        std::string said = {}; // a piece of standard output or error
    };
    const std::vector<path_case> cases = {
        {{"check", named + ".dsc"}, 1, named + ".dsc:2:1: warning: source code 80"},
        {{"build", "-q", named + ".dsc"}, 0, ""},
        {{"build", deep + "/cp866.dsc"}, 0, deep + "/cp866.map: 1 entries\n"},
        {{"check", deep + "/cp866.dsc"}, 0, "0 errors and 0 warnings in 1 file\n"},
        {{"dump", deep + "/cp866.map", "-o", deep + "/back.dsc"}, 0, deep + "/back.dsc: 1 entries"},
        {{"diff", deep + "/back.dsc", deep + "/cp866.map"}, 0, ""},
        {{"import", deep + "/t.txt", "-o", deep + "/t.dsc"}, 0, deep + "/t.dsc: 1 entries\n"},
        // A word that starts with '/' is a path, on Windows too (Wine reads it as a POSIX one).
        {{"check", "/no/such.dsc", "/o", "-q"}, 2, "/no/such.dsc: error: cannot open the file: "},
        {{"build", "/o", "x.map"}, 2, "", "/o: error: cannot open the file: "},
        {{"check", "sub"}, 2, "", ": Is a directory\n"},
        {{"build", "--format=json", named + ".dsc", "-o", "sub"}, 2, "", ""},
    };
    for (const path_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_result result = run(dir, c.arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out.substr(0, c.out_start.size()), c.out_start);
        EXPECT_NE((result.out + result.err).find(c.said), std::string::npos) << result.err;
    }
    EXPECT_EQ(read_file(dir.path() / utf8_path(named + ".map")).size(), 8u);
    const nlohmann::json found =
        nlohmann::json::parse(run(dir, {"check", "--format=json", named + ".dsc"}).out);
    EXPECT_EQ(found[0]["file"], named + ".dsc");
    const nlohmann::json folder_as_map = nlohmann::json::parse(
        run(dir, {"build", "--format=json", named + ".dsc", "-o", "sub"}).out);
    EXPECT_EQ(folder_as_map.back()["message"], "cannot write the map file: Is a directory");
    // Nothing left behind: no temporary file beside any map.
    const std::vector<std::string> deep_files = names_in(dir.path() / utf8_path(deep));
    EXPECT_EQ(deep_files,
              (std::vector<std::string>{"back.dsc", "cp866.dsc", "cp866.map", "t.dsc", "t.txt"}));
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
}

// What Windows programs do for themselves there: expand wildcards, take NUL as the null
// device, and say why a file cannot be written in the system's words.
TEST(MaptoolCommand, WildcardsAndTheNullDevice) {
#if !defined(_WIN32)
    GTEST_SKIP() << "the shell expands wildcards here, and /dev/null is no test's to write";
#else
    const temp_dir dir;
    write_file(dir / "a.dsc", "80, 0410\n");
    write_file(dir.path() / utf8_path("б.dsc"), "80, 0410\n80, 0410\n");
    write_file(dir / "a.txt", "x");
    write_file(dir / "a b.dsc", "80, 0410\n");
    fs::create_directory(dir / "sub");
    write_file(dir / "sub" / "c.dsc", "80, 0410\n80, 0410\n");
    struct wildcard_case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string program = "maptool"; // argv[0]: quoted when it holds a space or is empty
    };
    const std::vector<wildcard_case> cases = {
        {{"check", "-Wno-duplicate-byte", "*.dsc"}, 0, "0 errors and 0 warnings in 3 files\n"},
        {{"check", "?.dsc"}, 1, "б.dsc:2:1: warning: source code 80 is listed again"},
        {{"check", "?.dsc"},
         1,
         "б.dsc:2:1: warning: source code 80 is listed again",
         "my own maptool"},
        {{"check", "sub/?.dsc"}, 1, "sub/c.dsc:2:1: warning: source code 80 is listed again"},
        {{"check", "*.none"}, 2, "*.none: error: cannot open the file: "},
        {{"check", "a b.dsc", "* b.dsc"}, 2, "* b.dsc: error: cannot open the file: "}, // kept
        {{"check", "* b.dsc"}, 2, "* b.dsc: error: cannot open the file: ", ""},
        {{"build", "a.dsc", "-o", "NUL"}, 0, "NUL: 1 entries\n"},
        {{"build", "-o", "nul", "a.dsc"}, 0, "nul: 1 entries\n"},
    };
    for (const wildcard_case& c : cases) {
        SCOPED_TRACE(c.program + " " + testing::PrintToString(c.arguments));
        std::vector<std::string> args = {c.program};
        args.insert(args.end(), c.arguments.begin(), c.arguments.end());
        const program_result result = run_program(MAPTOOL_PATH, dir.path(), args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(from_text_mode(result.out).substr(0, c.out.size()), c.out);
    }
    // A map another program holds open: the system's words for it, and no file left behind.
    const HANDLE held = ::CreateFileW((dir / "held.map").wstring().c_str(), GENERIC_READ, 0,
                                      nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const program_result refused = run(dir, {"build", "a.dsc", "-o", "held.map"});
    ::CloseHandle(held);
    EXPECT_EQ(refused.status, 2);
    // Windows refuses the rename as a sharing violation, Wine as access denied.
    const auto words = [](DWORD code) {
        char text[256] = {};
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text, sizeof text, nullptr);
        std::string said = text;
        while (!said.empty() && std::string_view("\r\n .").find(said.back()) != std::string::npos) {
            said.pop_back();
        }
        return "held.map: error: cannot write the map file: " + said + "\n";
    };
    EXPECT_TRUE(refused.err == words(ERROR_SHARING_VIOLATION) ||
                refused.err == words(ERROR_ACCESS_DENIED))
        << refused.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 6);
#endif
}

// A console shows UTF-8 text as its characters and turns on colour where it can; a file
// or a pipe gets the UTF-8 bytes (every other test reads them so).
TEST(MaptoolCommand, ConsoleOutput) {
    GTEST_SKIP() << "what a real Windows console shows cannot be read back by a test, and "
                    "Wine's console is no such console; see docs/windows.md";
}

// Over every bundled table: the same bytes as mapmaker, to a file and to standard output.
// The map of the earlier run is longer, so that a map written over it rather than
// replacing it shows; the temporary file must be gone after the rename.
TEST(MaptoolCommand, BuildWritesWhatMapmakerWrites) {
    const fs::path tables = fs::path(SOURCE_DIR) / "tables";
    for (const auto& entry : fs::directory_iterator(tables)) {
        SCOPED_TRACE(entry.path().filename().string());
        const temp_dir dir;
        fs::copy_file(entry.path(), dir / "t.dsc");
        ASSERT_EQ(run_program(MAPMAKER_PATH, dir.path(), {"mapmaker", "t.dsc"}).status, 0);
        const std::string expected = read_file(dir / "t.map");
        write_file(dir / "t.map", std::string(1000, 'X'));
        const program_result built = run(dir, {"build", "t.dsc"});
        EXPECT_EQ(built.status, 0);
        const std::size_t count = (expected.size() - 2) / 3;
        EXPECT_EQ(built.out, "t.map: " + std::to_string(count) + " entries\n");
        EXPECT_EQ(read_file(dir / "t.map"), expected);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
        const program_result piped =
            run(dir, {"build", "-o", "-", "-"}, read_file(dir / "t.dsc"), output_kind::binary);
        EXPECT_EQ(piped.out, expected);
        EXPECT_EQ(piped.err, "<stdout>: " + std::to_string(count) + " entries\n");
    }
}

} // namespace
