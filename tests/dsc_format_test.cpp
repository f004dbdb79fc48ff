// maptool fmt: the one layout, line by line; the promise that mapmaker makes the same map of
// the formatted text, that formatting again changes nothing and that the line count stays,
// over thousands of generated files (read by mapmaker's own reader in this process, and a
// few hundred by the built programs) and the bundled tables; and the verb as a user runs it.
#include "engine/dsc_format.h"
#include "mapmaker/first_fault.h"
#include "mapmaker/status.h"
#include "run_program.h"
#include "table/dsc_pieces.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct kept_errors : renderer {
    std::vector<std::string> messages;
    void render(const finding& found) override { messages.push_back(found.message); }
    void finish(const report_counts&) override {}
};

struct formatted {
    bool accepted = false;
    std::string text;
    std::vector<std::string> errors;
};

// A scratch file that holds text, read from its start.
std::FILE* holding(const std::string& text) {
    std::FILE* file = scratch_file();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

formatted format_text(const std::string& text, bool names = false) {
    std::FILE* in = holding(text);
    formatted result;
    kept_errors found;
    warning_policy errors_only;
    errors_only.enabled.reset();
    diagnostics report(errors_only, found);
    result.accepted = format_dsc(in, "t.dsc", format_options{names}, report,
                                 [&result](std::string_view piece) { result.text += piece; });
    std::fclose(in);
    result.errors = found.messages;
    return result;
}

// What mapmaker's reader makes of a text: its status, the entries and its line count.
struct mapmaker_reading {
    status_code status = status_code::ok;
    code_table table;
    std::uint64_t lines = 0;

    bool same_map(const mapmaker_reading& other) const {
        return status == other.status && table.count == other.table.count &&
               std::equal(table.records.begin(), table.records.begin() + table.count,
                          other.table.records.begin());
    }
};

mapmaker_reading read_as_mapmaker(const std::string& text) {
    std::FILE* in = holding(text);
    mapmaker_reading result;
    try {
        read_dsc(in, result.table, result.lines);
    } catch (const status_error& failed) {
        result.status = failed.code;
    }
    std::fclose(in);
    return result;
}

TEST(Fmt, WritesTheOneLayout) {
    const std::string cp = std::string(250, 'c');
    const std::string junk = std::string(100000, 'j') + "\n";
    struct {
        std::string before;
        std::string after;
    } cases[] = {
        {"80, 0410\n", "80, 0410\n"},
        {"80,0410\n", "80, 0410\n"},
        {"80 0410\n", "80, 0410\n"},
        {"80,    0410\n", "80, 0410\n"},
        {"80   0410\n", "80, 0410\n"},
        {"ad, 43d // small en\n", "AD, 043D // small en\n"},
        {"fa,9Af0\n", "FA, 9AF0\n"},
        {"   8, 41\r\n", "08, 0041\r\n"},
        // A trailer becomes a comment; a comment's text and the spaces after it stay.
        {"80, 0410 text\n", "80, 0410 // text\n"},
        {"80, 0410    some text  \n", "80, 0410 // some text  \n"},
        {"80, 0410/x\n", "80, 0410 // /x\n"},
        {"80, 0410//x\n", "80, 0410 //x\n"},
        {"80, 0410      //   x\n", "80, 0410 //   x\n"},
        {"80, 0410   \n", "80, 0410\n"},
        // Fields longer than their width keep every digit as written.
        {"180, 0410abc\n", "180, 0410abc\n"},
        {"0080 , 00410\n", ""}, // refused: the ',' starts the second field
        // Comments lose their leading spaces only; empty lines, line ends and Ctrl-Z stay.
        {"   // note  \r\n\r\n\n80,410", "// note  \r\n\r\n\n80, 0410"},
        {"80,410\n\x1a  junk \x1a\n", "80, 0410\n\x1a  junk \x1a\n"},
        {"80,410\x1a", "80, 0410\x1a"},
        {"80,410\n\x1a" + junk, "80, 0410\n\x1a" + junk}, // beyond the first block read
        // What hides text from mapmaker stays as written: a lone CR, a NUL.
        {"80,410 x\ry\n81,411\n", "80,410 x\ry\n81, 0411\n"},
        {"80,410 x" + std::string(1, '\0') + "y\n", "80,410 x" + std::string(1, '\0') + "y\n"},
        // A line read as several pieces stays, and so does one that would grow to be.
        {"80,410 " + cp.substr(0, 247) + "// rest\n", "80,410 " + cp.substr(0, 247) + "// rest\n"},
        {"  //" + cp + "// rest\n80,410", "  //" + cp + "// rest\n80, 0410"},
        {"80,410 " + cp.substr(0, 241) + "\n",
         "80, 0410 // " + cp.substr(0, 241) + "\n"}, // 253 characters: one piece
        {"80,410 " + cp.substr(0, 242) + "\r\n", "80,410 " + cp.substr(0, 242) + "\r\n"},
        {data_lines(256), data_lines(256)}, // the most entries a table holds
    };
    for (const auto& c : cases) {
        const formatted result = format_text(c.before);
        EXPECT_EQ(result.accepted, !c.after.empty()) << c.before;
        if (result.accepted) {
            EXPECT_EQ(result.text, c.after) << c.before;
            EXPECT_TRUE(result.errors.empty()) << result.errors.front();
        }
    }
}

TEST(Fmt, NamesEntriesWithoutAComment) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character names";
    }
    const std::string text = "80,410\n81, 0411 // mine\n82, 0412 //\nE000, E000\n83, 0413 x\n";
    EXPECT_EQ(format_text(text, true).text,
              "80, 0410 // CYRILLIC CAPITAL LETTER A\n81, 0411 // mine\n"
              "82, 0412 // CYRILLIC CAPITAL LETTER VE\nE000, E000 // " +
                  char_name(0xE000) + "\n83, 0413 // x\n");
}

TEST(Fmt, RefusesWhatMapmakerRefusesWithCheckErrors) {
    struct {
        std::string text;
        std::string first_error;
    } cases[] = {
        {"", "no entry: a table needs at least one"},
        {"// only a comment\n", "no entry: a table needs at least one"},
        {"80, 0410\n0x81, 0411\n", "the first field '0x81' is not a hexadecimal number"},
        {"80, 0410\n/ note\n", "the first field '/' is not a hexadecimal number"},
        {"80, 0410\n81,\t0411\n", "the second field '<09>0411' is not a hexadecimal number"},
        {data_lines(257), "a table holds at most 256 entries"},
        // Read by mapmaker as bytes, refused by check all the same.
        {std::string("\0/\0/\n80, 0410\n", 14),
         "the file is UTF-16 text: save it as UTF-8 or ASCII"},
    };
    for (const auto& c : cases) {
        const formatted result = format_text(c.text);
        EXPECT_FALSE(result.accepted) << c.text;
        ASSERT_FALSE(result.errors.empty()) << c.text;
        EXPECT_EQ(result.errors.front(), c.first_error);
        // The checker says why; the note for a file the two readers disagree on stays out.
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(),
                             "mapmaker would refuse the file"),
                  0)
            << c.text;
    }
}

// --- The promise, over generated files ---------------------------------------------------

std::string hex(std::mt19937& random, std::size_t digits) {
    static const char DIGITS[] = "0123456789abcdefABCDEF";
    std::string text;
    for (std::size_t i = 0; i < digits; ++i) {
        text += DIGITS[random() % 22];
    }
    return text;
}

// One line of a file mapmaker reads, in any of the layouts it accepts, without its end;
// now and then one it refuses.
std::string generated_line(std::mt19937& random) {
    const auto pick = [&](unsigned n) { return static_cast<std::size_t>(random() % n); };
    const std::string spaces = std::string(pick(3) == 0 ? pick(4) : 0, ' ');
    switch (pick(16)) {
    case 0:
        return "";
    case 1:
        return spaces + "//" + std::string(pick(30), 'c') + std::string(pick(3), ' ');
    case 2: { // read as several pieces: what follows the first is a comment or an entry
        const std::string start =
            spaces + (pick(2) ? "//" : hex(random, 2) + ", " + hex(random, 4) + " ");
        return start + std::string(LINE_PIECE_MAX - start.size(), pick(2) ? 'n' : ' ') +
               (pick(2) ? "// more" : hex(random, 2) + "," + hex(random, 3));
    }
    case 3: // what hides the rest of a line from mapmaker
        return hex(random, 2) + " " + hex(random, 4) + (pick(2) ? " x\ry" : std::string("\0z", 2));
    case 4:
        if (pick(3) == 0) { // refused
            static const char* const REFUSED[] = {"0x80, 0410", "80 , 0410", "80, 0410\t// t"};
            return REFUSED[pick(3)];
        }
        return std::string(1, '\0') + "x"; // an empty line to mapmaker
    default: {
        static const char* const TRAILERS[] = {"",    " // NAME", "//x", " text", "/x",
                                               "   ", " a  b  ",  " //", "/",     "  // 8"};
        return spaces + hex(random, 1 + pick(pick(6) == 0 ? 5 : 2)) + (pick(2) ? "," : " ") +
               std::string(pick(3), ' ') + hex(random, 1 + pick(pick(6) == 0 ? 7 : 4)) +
               TRAILERS[pick(10)];
    }
    }
}

std::string generated_file(std::mt19937& random) {
    const bool long_file = random() % 16 == 0; // about the 256-entry limit
    const std::size_t lines = long_file ? 250 + random() % 15 : 1 + random() % 20;
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += generated_line(random);
        if (i + 1 < lines || random() % 4 != 0) {
            text += random() % 2 ? "\n" : "\r\n";
        }
    }
    if (random() % 8 == 0) {
        text += random() % 2 ? "\x1a" : "\x1ajunk\n\x1a";
    }
    return text;
}

std::size_t line_ends(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Checks the promise on one text; whether mapmaker accepts it and fmt changes it.
struct promise_outcome {
    bool accepted = false;
    bool changed = false;
};

promise_outcome keeps_the_promise(const std::string& text, bool names) {
    const mapmaker_reading before = read_as_mapmaker(text);
    const formatted once = format_text(text, names);
    EXPECT_EQ(once.accepted, before.status == status_code::ok) << text;
    if (!once.accepted || before.status != status_code::ok) {
        return {};
    }
    const mapmaker_reading after = read_as_mapmaker(once.text);
    EXPECT_TRUE(after.same_map(before)) << text << "\n->\n" << once.text;
    EXPECT_EQ(after.lines, before.lines) << text;
    EXPECT_EQ(line_ends(once.text), line_ends(text)) << text;
    EXPECT_EQ(format_text(once.text, names).text, once.text) << text;
    return {true, once.text != text};
}

TEST(Fmt, KeepsTheMapOfThousandsOfGeneratedFiles) {
    std::mt19937 random(20);
    std::size_t accepted = 0;
    std::size_t changed = 0;
    const int files = 4000;
    for (int i = 0; i < files && !HasFailure(); ++i) {
        const promise_outcome outcome = keeps_the_promise(generated_file(random), i % 4 == 0);
        accepted += outcome.accepted;
        changed += outcome.changed;
    }
    // Most files are ones mapmaker accepts, and most of those change.
    EXPECT_GT(accepted, files / 3);
    EXPECT_GT(changed, accepted / 2);
}

TEST(Fmt, BundledTablesAreInTheLayoutAlready) {
    std::size_t tables = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(SOURCE_DIR) / "tables")) {
        if (entry.path().extension() != ".dsc") {
            continue;
        }
        ++tables;
        const std::string text = read_file(entry.path());
        SCOPED_TRACE(entry.path().string());
        EXPECT_TRUE(keeps_the_promise(text, false).accepted);
        EXPECT_EQ(format_text(text).text, text);
        keeps_the_promise(text, true);
    }
    EXPECT_GE(tables, 20U);
}

// --- The verb, as a user runs it -----------------------------------------------------------

// Text as maptool prints it to standard output in text mode: with CR LF on Windows.
std::string text_mode(std::string text) {
#if defined(_WIN32)
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
        text.insert(at, 1, '\r');
    }
#endif
    return text;
}

program_result run(const temp_dir& dir, const char* program, const std::vector<std::string>& words,
                   const std::string& input = "", input_kind kind = input_kind::file) {
    std::vector<std::string> args = {fs::path(program).stem().string()};
    args.insert(args.end(), words.begin(), words.end());
    program_result result = run_program(program, dir.path(), args, input, kind);
    result.err = from_text_mode(result.err);
    return result;
}

// The built programs on generated files: mapmaker writes the same map of the file fmt
// rewrote in place as of the file before.
TEST(FmtCommand, MapmakerMakesTheSameMapOfWhatFmtWrote) {
#if defined(_WIN32)
    const int files = 15; // each run under Wine takes a while
#else
    const int files = 200;
#endif
    std::mt19937 random(2026);
    const temp_dir dir;
    int compared = 0;
    while (compared < files && !HasFailure()) {
        const std::string text = generated_file(random);
        if (read_as_mapmaker(text).status != status_code::ok) {
            continue;
        }
        ++compared;
        write_file(dir / "x.dsc", text);
        write_file(dir / "y.dsc", text);
        const program_result formatted = run(dir, MAPTOOL_PATH, {"fmt", "y.dsc"});
        ASSERT_EQ(formatted.status, 0) << formatted.err;
        ASSERT_EQ(run(dir, MAPMAKER_PATH, {"x.dsc"}).status, 0);
        ASSERT_EQ(run(dir, MAPMAKER_PATH, {"y.dsc"}).status, 0);
        EXPECT_EQ(read_file(dir / "y.map"), read_file(dir / "x.map")) << text;
        EXPECT_EQ(line_ends(read_file(dir / "y.dsc")), line_ends(text));
    }
}

TEST(FmtCommand, ModesStatusesAndWhatIsWritten) {
    const std::string messy = "  // t\r\n80,410 a\r\n";
    const std::string tidy = "// t\r\n80, 0410 // a\r\n";
    // A warning (the byte listed again) before the error, which fmt leaves to check.
    const std::string bad = "80, 0410\n80, 0411\n0x81, 0411\n";
    struct {
        std::vector<std::string> words;
        std::string input;
        int status;
        std::string out;
        std::string err;
        std::string messy_after; // what messy.dsc holds afterwards
        input_kind kind = input_kind::file;
    } cases[] = {
        {{"fmt", "messy.dsc", "tidy.dsc"}, "", 0, "", "", tidy},
        {{"fmt", "--check", "messy.dsc", "tidy.dsc"},
         "",
         1,
         text_mode("messy.dsc: would be reformatted\n"),
         "",
         messy},
        {{"fmt", "--check", "tidy.dsc"}, "", 0, "", "", messy},
        {{"fmt", "--diff", "messy.dsc"},
         "",
         1,
         "--- messy.dsc\n+++ messy.dsc\n@@ -1,2 +1,2 @@\n-  // t\r\n-80,410 a\r\n+// t\r\n"
         "+80, 0410 // a\r\n",
         "",
         messy},
        {{"fmt", "-"}, messy, 0, tidy, "", messy},
        {{"fmt", "-"}, messy, 0, tidy, "", messy, input_kind::pipe},
        {{"fmt", "--diff", "-"}, tidy, 0, "", "", messy, input_kind::pipe},
        {{"fmt", "--check", "-"},
         messy,
         1,
         text_mode("<stdin>: would be reformatted\n"),
         "",
         messy},
        {{"fmt", "--color=never", "-"},
         bad,
         2,
         "",
         "<stdin>:3:1: error: the first field '0x81' "
         "is not a hexadecimal number\n",
         messy},
        // A refused file is untouched, the others are done.
        {{"fmt", "bad.dsc", "messy.dsc"},
         "",
         2,
         "",
         "bad.dsc:3:1: error: the first field '0x81' is not a hexadecimal number\n",
         tidy},
        {{"fmt", "none.dsc"}, "", 2, "", "none.dsc: error: cannot open the file: ", messy},
        // Named twice, or by another path: done once.
        {{"fmt", "--check", "messy.dsc", "./messy.dsc", "messy.dsc"},
         "",
         1,
         text_mode("messy.dsc: would be reformatted\n"),
         "",
         messy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words[1] + " " + c.words.back());
        const temp_dir dir;
        write_file(dir / "messy.dsc", messy);
        write_file(dir / "tidy.dsc", tidy);
        write_file(dir / "bad.dsc", bad);
        const auto long_ago = fs::last_write_time(dir / "tidy.dsc") - std::chrono::hours(48);
        fs::last_write_time(dir / "tidy.dsc", long_ago);
        std::error_code folder_time; // not every system sets a folder's time
        fs::last_write_time(dir.path(), long_ago, folder_time);
        const program_result result = run(dir, MAPTOOL_PATH, c.words, c.input, c.kind);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
        if (c.err.empty()) {
            EXPECT_EQ(result.err, "");
        }
        EXPECT_EQ(read_file(dir / "messy.dsc"), c.messy_after);
        EXPECT_EQ(read_file(dir / "bad.dsc"), bad);
        EXPECT_EQ(read_file(dir / "tidy.dsc"), tidy);
        EXPECT_EQ(fs::last_write_time(dir / "tidy.dsc"), long_ago); // never written
        if (!folder_time && c.messy_after == messy) {
            // Nothing was made in the folder, not even a temporary for a moment.
            EXPECT_EQ(fs::last_write_time(dir.path()), long_ago);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                  3); // no temporary file left
    }
}

} // namespace
