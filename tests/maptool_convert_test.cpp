// maptool convert and which: text through a table both ways, what cannot be converted and
// where, blocks that split a character; the known table a table or a text sample is.

#include "engine/convert.h"
#include "engine/which.h"
#include "run_program.h"
#include "test_files.h"
#include "unicode/names.h"
#include "unicode/transliteration.h"

#include <gtest/gtest.h>

#if defined(MAPTOOL_ICONV) && !defined(_WIN32)
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <optional>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

code_table table_of(const std::vector<std::pair<int, int>>& entries) {
    code_table table;
    for (const auto& [byte, code] : entries) {
        table.records[table.count++] =
            make_record(static_cast<std::uint8_t>(byte), static_cast<std::uint16_t>(code));
    }
    return table;
}

struct convert_case {
    const char* what;
    std::vector<std::pair<int, int>> entries;
    direction way;
    std::string input;
    std::string output;             // all that is handed on, up to a stop
    std::optional<stopped_at> stop; // what and where
    unmappable action = unmappable::stop;
    std::string replacement = "\xEF\xBF\xBD";
    bool ascii = true;
    bool translit = false;
    std::vector<std::pair<int, int>> target = {}; // recoding: the output's table
};

const std::vector<std::pair<int, int>> cyrillic = {{0x80, 0x0410}, {0x81, 0x0411}};

TEST(Convert, EachWayWithItsStopsAtEveryBlockSize) {
    const std::vector<convert_case> cases = {
        {"unlisted low bytes are ASCII", cyrillic, direction::decode, "A\x80\x81\n",
         "A\xD0\x90\xD0\x91\n", std::nullopt},
        {"and back", cyrillic, direction::encode, "A\xD0\x90\xD0\x91\n", "A\x80\x81\n",
         std::nullopt},
        {"DEL is ASCII too", cyrillic, direction::decode, "\x7F", "\x7F", std::nullopt},
        {"and back", cyrillic, direction::encode, "\x7F", "\x7F", std::nullopt},
        {"--no-ascii: an unlisted low byte stops", cyrillic, direction::decode,
         "\x80"
         "A",
         "\xD0\x90", stopped_at{"byte 41 is not in the table", 1, 1, 2}, unmappable::stop, "",
         false},
        {"--no-ascii: byte 00 too", cyrillic, direction::decode, std::string(1, '\0'), "",
         stopped_at{"byte 00 is not in the table", 0, 1, 1}, unmappable::stop, "", false},
        {"byte 80 is no ASCII byte",
         {{0x81, 0x0411}},
         direction::decode,
         "\x80",
         "",
         stopped_at{"byte 80 is not in the table", 0, 1, 1}},
        {"a byte listed as a surrogate is not in the table",
         {{0x80, 0xD800}},
         direction::decode,
         "\x80",
         "",
         stopped_at{"byte 80 is not in the table", 0, 1, 1}},
        {"--no-ascii both ways", cyrillic, direction::encode,
         "\xD0\x90"
         "A",
         "\x80", stopped_at{"U+0041", 2, 1, 2}, unmappable::stop, "", false},
        {"a listed low byte is not ASCII",
         {{0x41, 0x0391}},
         direction::decode,
         "AB",
         "\xCE\x91"
         "B",
         std::nullopt},
        {"nor is its code's byte",
         {{0x41, 0x0391}},
         direction::encode,
         "BA",
         "B",
         stopped_at{"U+0041", 1, 1, 2}},
        {"the last code a table holds",
         {{0x80, 0xFFFF}},
         direction::encode,
         "\xEF\xBF\xBF",
         "\x80",
         std::nullopt},
        {"a code the table gives byte 00 is not its ASCII byte's",
         {{0x00, 0x0041}},
         direction::encode,
         "A",
         std::string(1, '\0'),
         std::nullopt},
        {"a repeated byte decodes as its first entry",
         {{0x80, 0x0411}, {0x80, 0x0410}},
         direction::decode,
         "\x80",
         "\xD0\x91",
         std::nullopt},
        {"byte 00 first is a code's first entry too",
         {{0x00, 0x0041}, {0x80, 0x0041}},
         direction::encode,
         "A",
         std::string(1, '\0'),
         std::nullopt},
        {"a repeated code encodes as its first entry",
         {{0x81, 0x0410}, {0x80, 0x0410}},
         direction::encode,
         "\xD0\x90",
         "\x81",
         std::nullopt},
        {"an unmapped byte: offset, line, column", cyrillic, direction::decode,
         "ab\ncd\x98"
         "ef",
         "ab\ncd", stopped_at{"byte 98 is not in the table", 5, 2, 3}},
        {"an unmapped character: columns in characters", cyrillic, direction::encode,
         "ab\n\xD0\x90\xC3\xA9z", "ab\n\x80", stopped_at{"U+00E9", 5, 2, 2}},
        {"-c leaves a byte out", cyrillic, direction::decode,
         "a\x98"
         "b",
         "ab", std::nullopt, unmappable::skip},
        {"-c leaves a character out, one beyond FFFF too", cyrillic, direction::encode,
         "a\xC3\xA9\xF0\x9F\x98\x80"
         "b",
         "ab", std::nullopt, unmappable::skip},
        {"-c: the first code of each length and the last code are characters", cyrillic,
         direction::encode, "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "",
         std::nullopt, unmappable::skip},
        {"--replace: U+FFFD", cyrillic, direction::decode,
         "a\x98"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         std::nullopt, unmappable::replace},
        {"--replace: a byte", cyrillic, direction::encode,
         "a\xC3\xA9"
         "b",
         "a?b", std::nullopt, unmappable::replace, "?"},
        {"invalid UTF-8 stops even with -c", cyrillic, direction::encode, "a\xC3(", "a",
         stopped_at{"invalid UTF-8 from byte C3", 1, 1, 2}, unmappable::skip},
        {"a byte from F5 up begins no character", cyrillic, direction::encode, "a\xF5\x80", "a",
         stopped_at{"invalid UTF-8 from byte F5", 1, 1, 2}},
        {"a lone continuation byte is invalid", cyrillic, direction::encode, "\x80", "",
         stopped_at{"invalid UTF-8 from byte 80", 0, 1, 1}},
        {"an overlong form is invalid", cyrillic, direction::encode, "\xE0\x80\x80", "",
         stopped_at{"invalid UTF-8 from byte E0", 0, 1, 1}},
        {"a surrogate is invalid", cyrillic, direction::encode, "a\xED\xA0\x80", "a",
         stopped_at{"invalid UTF-8 from byte ED", 1, 1, 2}},
        {"the last surrogate too", cyrillic, direction::encode, "\xED\xBF\xBF", "",
         stopped_at{"invalid UTF-8 from byte ED", 0, 1, 1}},
        {"a character cut off by the end", cyrillic, direction::encode, "\xD0\x90\xD0", "\x80",
         stopped_at{"incomplete UTF-8 character at the end of the input", 2, 1, 2}},
        {"recoding: each byte through its character, NUL too",
         cyrillic,
         direction::recode,
         std::string("A\0\x80\x81\n", 5),
         std::string("A\0\xC0\xC1\n", 5),
         std::nullopt,
         unmappable::stop,
         "",
         true,
         false,
         {{0xC1, 0x0411}, {0xC0, 0x0410}}},
        {"recoding: the last code a table holds",
         {{0x80, 0xFFFF}},
         direction::recode,
         "\x80",
         "\xC0",
         std::nullopt,
         unmappable::stop,
         "",
         true,
         false,
         {{0xC0, 0xFFFF}}},
        {"recoding: a byte the source lacks",
         cyrillic,
         direction::recode,
         "\x80\n\x98",
         "\xC0\n",
         stopped_at{"byte 98 is not in the table", 2, 2, 1},
         unmappable::stop,
         "",
         true,
         false,
         {{0xC0, 0x0410}}},
        {"recoding: a character the target lacks, columns in bytes",
         cyrillic,
         direction::recode,
         "\x80\x81",
         "\xC0",
         stopped_at{"byte 81, U+0411", 1, 1, 2},
         unmappable::stop,
         "",
         true,
         false,
         {{0xC0, 0x0410}}},
        {"recoding with -c",
         cyrillic,
         direction::recode,
         "\x81\x80",
         "\xC0",
         std::nullopt,
         unmappable::skip,
         "",
         true,
         false,
         {{0xC0, 0x0410}}},
        {"recoding with --replace",
         cyrillic,
         direction::recode,
         "\x81\x80",
         "?\xC0",
         std::nullopt,
         unmappable::replace,
         "?",
         true,
         false,
         {{0xC0, 0x0410}}},
        {"--translit: the base letter, and a dash's ASCII form", cyrillic, direction::encode,
         "\xC5\x91\xE2\x80\x94", "o-", std::nullopt, unmappable::stop, "", true, true},
        {"--translit: the Latin form where the target has it",
         {{0x8E, 0x017D}},
         direction::encode,
         "\xD0\x96",
         "\x8E",
         std::nullopt,
         unmappable::stop,
         "",
         true,
         true},
        {"--translit: else its ASCII form",
         {},
         direction::encode,
         "\xD0\x96",
         "Z",
         std::nullopt,
         unmappable::stop,
         "",
         true,
         true},
        {"--translit: never a character the target lacks", cyrillic, direction::encode,
         "\xD0\x90\xD0\x96", "\x80", stopped_at{"U+0416", 2, 1, 2}, unmappable::stop, "", false,
         true},
        {"--translit: no rendering, then -c", cyrillic, direction::encode,
         "a\xE2\x82\xB4"
         "b",
         "ab", std::nullopt, unmappable::skip, "", true, true},
        {"--translit: a rendering the target has only in part is none",
         {{0x66, 0x0066}},
         direction::encode,
         "\xEF\xAC\x81",
         "",
         stopped_at{"U+FB01", 0, 1, 1},
         unmappable::stop,
         "",
         false,
         true},
        {"--translit: a rendering into byte 00",
         {{0x00, 0x006F}},
         direction::encode,
         "\xC5\x91",
         std::string(1, '\0'),
         std::nullopt,
         unmappable::stop,
         "",
         true,
         true},
        {"recoding: a character the target gives byte 00",
         {{0x80, 0x0041}},
         direction::recode,
         "\x80",
         std::string(1, '\0'),
         std::nullopt,
         unmappable::stop,
         "",
         true,
         false,
         {{0x00, 0x0041}}},
        {"--translit while recoding",
         {{0x82, 0x0151}},
         direction::recode,
         "\x82",
         "o",
         std::nullopt,
         unmappable::stop,
         "",
         true,
         true,
         {{0xC0, 0x0410}}},
    };
    for (const convert_case& c : cases) {
        if (c.translit && !translit_available()) {
            continue; // the Windows build: --translit itself is refused, see the verb's test
        }
        const code_page page = make_code_page(table_of(c.entries), c.ascii);
        const code_page target = make_code_page(table_of(c.target), c.ascii);
        // 1 to 3 bytes split every character of two or more bytes somewhere.
        for (const std::size_t block : {1, 2, 3, 65536}) {
            SCOPED_TRACE(std::string(c.what) + ", blocks of " + std::to_string(block));
            std::FILE* in = scratch_file();
            ASSERT_NE(in, nullptr);
            std::fwrite(c.input.data(), 1, c.input.size(), in);
            std::rewind(in);
            convert_settings settings;
            settings.way = c.way;
            settings.action = c.action;
            settings.replacement = c.replacement;
            settings.block_size = block;
            settings.translit = c.translit;
            std::string output;
            const byte_sink sink = [&output](std::string_view bytes) {
                output += bytes;
                return true;
            };
            const auto done = c.way == direction::recode
                                  ? recode_stream(page, target, settings, in, sink)
                                  : convert_stream(page, settings, in, sink);
            std::fclose(in);
            ASSERT_TRUE(done.ok());
            EXPECT_EQ(output, c.output);
            ASSERT_EQ(done->has_value(), c.stop.has_value());
            if (c.stop) {
                const stopped_at& at = **done;
                EXPECT_EQ(at.what.rfind(c.stop->what, 0), 0u) << at.what;
                EXPECT_EQ(at.offset, c.stop->offset);
                EXPECT_EQ(at.line, c.stop->line);
                EXPECT_EQ(at.column, c.stop->column);
            }
        }
    }
}

// Standard output comes back as written: convert writes bytes, which writes text.
program_result maptool(const temp_dir& dir, std::vector<std::string> args,
                       const std::string& input = "") {
    args.insert(args.begin(), "maptool");
    program_result result = run_program(MAPTOOL_PATH, dir.path(), args, input, input_kind::pipe);
    result.err = from_text_mode(result.err);
    return result;
}

const std::string cp1251 = (fs::path(SOURCE_DIR) / "tables" / "cp1251.dsc").string();
const std::string tables = (fs::path(SOURCE_DIR) / "tables").string();

struct verb_case {
    const char* what;
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
    std::string err;
    std::string left_in_out_txt; // out.txt holds "old" before each run
};

// --translit, or -t's //TRANSLIT: a close character the table has, or, in a build without
// ICU, an error.
verb_case translit_case(const std::vector<std::string>& args) {
    if (translit_available()) {
        return {"--translit: a close character the table has",
                args,
                "\xC3\xA9\xC5\x91",
                0,
                "eo",
                "",
                "old"};
    }
    return {"--translit: not in a build without ICU",
            args,
            "",
            2,
            "",
            "maptool convert: --translit: this maptool is built without ICU's transliteration\n"
            "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
            "old"};
}

TEST(Convert, FilesStandardStreamsAndTheOutputFile) {
    const std::string ru = "\xCF\xF0\xE8\xE2\xE5\xF2\n"; // Привет
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n";
    // Byte 80 listed twice, the same both times: a warning of check's.
    const std::string star = "80, 002A\n81, 006F\n82, FFFF\n00, 0023\n80, 002A\n";
    const std::vector<verb_case> cases = {
        {"standard input to standard output, byte for byte",
         {"convert", "-f", cp1251},
         ru + "\r\n",
         0,
         utf8 + "\r\n",
         "",
         "old"},
        {"files one after another",
         {"convert", "-t", cp1251, "a.txt", "-", "a.txt"},
         "x",
         0,
         ru + "x" + ru,
         "",
         "old"},
        {"-o replaces the file",
         {"convert", "-t", cp1251, "a.txt", "-o", "out.txt"},
         "",
         0,
         "",
         "",
         ru},
        {"a stop leaves the old file",
         {"convert", "-f", cp1251, "-o", "out.txt"},
         "ab\n\x98",
         1,
         "",
         "<stdin>:2:1: error: byte 98 is not in the table (byte offset 3)\n",
         "old"},
        {"and writes what came before to standard output",
         {"convert", "-f", cp1251},
         "ab\n\x98",
         1,
         "ab\n",
         "<stdin>:2:1: error: byte 98 is not in the table (byte offset 3)\n",
         "old"},
        {"an input that is the output is refused",
         {"convert", "-f", cp1251, "out.txt", "-o", "out.txt"},
         "",
         2,
         "",
         "out.txt: error: is the output file too; write the output to another file\n",
         "old"},
        {"a DSC text from a pipe is no map file it replaces",
         {"build", "-q", "-", "-o", "out.txt"},
         "80, 0410\n",
         0,
         "",
         "",
         std::string("\x00\x01\x80\x04\x10", 5)},
        {"--replace=CHAR: the table's byte for CHAR",
         {"convert", "-t", "star.dsc", "--replace=*"},
         "a\xC3\xA9",
         0,
         "a\x80",
         "",
         "old"},
        {"--replace=U+FFFF: the table's byte for it",
         {"convert", "-t", "star.dsc", "--replace=\xEF\xBF\xBF"},
         "a\xC3\xA9",
         0,
         "a\x82",
         "",
         "old"},
        {"--replace=CHAR: byte 00 too",
         {"convert", "-t", "star.dsc", "--replace=#"},
         "a\xC3\xA9",
         0,
         std::string("a\0", 2),
         "",
         "old"},
        {"--replace beyond U+FFFF: no table has it",
         {"convert", "-t", "star.dsc", "--replace=\xF0\x9F\x98\x80"},
         "",
         2,
         "",
         "maptool convert: --replace: the table has no byte for '\xF0\x9F\x98\x80'\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"the table and the input cannot both be standard input",
         {"convert", "-f", "-"},
         "",
         2,
         "",
         "maptool convert: standard input can be read only once: name the table or the input "
         "FILE\nUsage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"-f and -t: one code page to another",
         {"convert", "-f", cp1251, "-t", "star.dsc"},
         "*o\x88",
         1,
         "\x80\x81",
         "<stdin>:1:3: error: byte 88, U+20AC" +
             std::string(names_available() ? " EURO SIGN" : "") +
             " is not in the target table (byte offset 2)\n",
         "old"},
        {"UTF-8 on either side is the Unicode side, in any spelling",
         {"convert", "-f", cp1251, "-t", "utf8", "-o", "out.txt"},
         ru,
         0,
         "",
         "",
         utf8},
        {"and the other way",
         {"convert", "-f", "UTF-8", "-t", cp1251, "a.txt"},
         "",
         0,
         ru,
         "",
         "old"},
        {"//IGNORE is -c",
         {"convert", "-t", "star.dsc//IGNORE"},
         "\xC3\xA9*",
         0,
         "\x80",
         "",
         "old"},
        {"UTF-8 to UTF-8 is no conversion",
         {"convert", "-f", "utf-8"},
         "",
         2,
         "",
         "maptool convert: -f and -t: one of them must be a table, not UTF-8\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"two tables from standard input",
         {"convert", "-f", "-", "-t", "-", "a.txt"},
         "",
         2,
         "",
         "maptool convert: standard input can be read only once: name the table or the input FILE\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        translit_case({"convert", "-t", cp1251, "--translit"}),
        translit_case({"convert", "-f", "utf-8", "-t", cp1251 + "//TRANSLIT"}),
        translit_case({"convert", "-t", cp1251 + "//Translit"}),
        {"-c and --replace cannot both be given",
         {"convert", "-t", cp1251, "-c", "--replace"},
         "",
         2,
         "",
         "maptool convert: -c and --replace cannot be given together\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
#ifndef _WIN32 // Windows hands a program its arguments as UTF-16: such bytes never arrive
        {"a byte of no UTF-8 character is no --replace",
         {"convert", "-t", cp1251, "--replace=\x80"},
         "",
         2,
         "",
         "maptool convert: --replace: '\x80' is not one UTF-8 character\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"nor is one from F5 up",
         {"convert", "-t", cp1251, "--replace=\xF5"},
         "",
         2,
         "",
         "maptool convert: --replace: '\xF5' is not one UTF-8 character\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
#endif
        {"the source table from standard input, the text from a file",
         {"convert", "-f", "-", "star.dsc"},
         "80, 0410\n",
         0,
         star,
         "",
         "old"},
        {"the target table from standard input",
         {"convert", "-t", "-", "star.dsc"},
         "80, 0410\n",
         0,
         star,
         "",
         "old"},
        {"a table's warnings are for check, not here; --color",
         {"convert", "-f", "star.dsc", "--color=never"},
         "\x80",
         0,
         "*",
         "",
         "old"},
        {"--replace=CHAR takes one character",
         {"convert", "-t", cp1251, "--replace=ab"},
         "",
         2,
         "",
         "maptool convert: --replace: 'ab' is not one UTF-8 character\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"//IGNORE and --replace cannot both be given",
         {"convert", "-t", cp1251 + "//IGNORE", "--replace=x"},
         "",
         2,
         "",
         "maptool convert: //IGNORE and --replace: only one of them can be given\n"
         "Usage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
         "old"},
        {"--replace takes no next word",
         {"convert", "-t", cp1251, "--replace", "a.txt"},
         "",
         0,
         ru,
         "",
         "old"},
    };
    for (const verb_case& c : cases) {
        SCOPED_TRACE(c.what);
        const temp_dir dir;
        write_file(dir / "a.txt", utf8);
        write_file(dir / "out.txt", "old");
        write_file(dir / "star.dsc", star);
        const program_result run = maptool(dir, c.args, c.input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(read_file(dir / "out.txt"), c.left_in_out_txt);
    }
    // A table that cannot be opened, an output that cannot be written: the error, with the
    // system's reason (its words are the system's own), and no output.
    const std::vector<std::pair<std::vector<std::string>, std::string>> unusable = {
        {{"convert", "-f", "./none.dsc"}, "./none.dsc: error: cannot open the file: "},
        {{"convert", "-t", cp1251, "-o", "none/out.txt"}, "none/out.txt: error: cannot write: "},
        {{"convert", "-t", cp1251, "none.txt"}, "none.txt: error: cannot open the file: "},
#if !defined(_WIN32)
        // A folder opens on POSIX systems and fails at the first read.
        {{"convert", "-t", cp1251, "."}, ".: error: cannot read: "},
        {{"convert", "-t", cp1251, ".", "-o", "out.txt"}, ".: error: cannot read: "},
#endif
    };
    for (const auto& [args, err] : unusable) {
        const temp_dir dir;
        const program_result run = maptool(dir, args, "x");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with(err)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

// What glibc's iconv makes of UTF-8 text with CHARSET//TRANSLIT, as UTF-8 again, in the
// locale C.UTF-8 (whose transliterations a user's UTF-8 locale has too); a character it
// cannot render becomes "?", as the iconv program writes it. Nothing when iconv lacks the
// charset or the locale.
std::optional<std::string> iconv_translit(const std::string& text, const std::string& charset) {
#if defined(MAPTOOL_ICONV) && !defined(_WIN32)
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        return std::nullopt;
    }
    const auto through = [](const std::string& from, const std::string& to, std::string in) {
        std::optional<std::string> out;
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            return out;
        }
        out.emplace();
        char* at = in.data();
        std::size_t left = in.size();
        while (left > 0) {
            char buffer[256];
            char* to_at = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t done = iconv(cd, &at, &left, &to_at, &room);
            out->append(buffer, static_cast<std::size_t>(to_at - buffer));
            if (done == static_cast<std::size_t>(-1) && errno == EILSEQ) {
                *out += '?';
                do {
                    ++at;
                    --left;
                } while (left > 0 && (static_cast<unsigned char>(*at) & 0xC0) == 0x80);
            }
        }
        iconv_close(cd);
        return out;
    };
    std::optional<std::string> bytes = through("UTF-8", charset + "//TRANSLIT", text);
    std::setlocale(LC_CTYPE, before.c_str());
    return bytes ? through(charset, "UTF-8", *bytes) : std::nullopt;
#else
    (void)text;
    (void)charset;
    return std::nullopt;
#endif
}

// --translit beside iconv's //TRANSLIT on common cases: dashes, quotes, letters with
// accents, letters of another script, signs. Each table's line is what maptool writes
// (read back through the table, which proves every byte one the table has), then what
// iconv writes; the fields where they differ are counted and reported, as the man page
// gives them.
TEST(Convert, TranslitBesideIconv) {
    if (!translit_available()) {
        GTEST_SKIP() << "built without ICU's transliteration";
    }
    const std::string text =
        "\xE2\x80\x94|\xE2\x80\x93|\xE2\x80\x9E|\xE2\x80\x9C|"
        "\xE2\x80\x9D|\xE2\x80\x98|\xE2\x80\x99|\xC2\xAB|\xC2\xBB|"
        "\xE2\x80\xA6|\xC3\xA9|\xC5\x91|\xC5\xBD|\xD0\x96|\xE2\x82\xB4|"
        "\xE2\x82\xAC|\xE2\x84\x96|\xEF\xAC\x81"; // — – „ “ ” ‘ ’ « » … é ő Ž Ж ₴ € № ﬁ
    struct translit_case {
        const char* table;
        const char* charset;
        std::string ours;
        std::string iconv;
    };
    const std::vector<translit_case> cases = {
        {"cp1251", "CP1251",
         text.substr(0, text.find("\xC3")) + "e|o|Z|\xD0\x96|?|" + "\xE2\x82\xAC|\xE2\x84\x96|fi",
         text.substr(0, text.find("\xC3")) + "e|o|Z|\xD0\x96|\xD0\xB3\xD1\x80\xD0\xBD|" +
             "\xE2\x82\xAC|\xE2\x84\x96|fi"},
        {"cp437", "CP437", "-|-|,,|\"|\"|'|'|\xC2\xAB|\xC2\xBB|...|\xC3\xA9|o|Z|Z|?|?|No|fi",
         "--|-|,,|\"|\"|'|'|\xC2\xAB|\xC2\xBB|...|\xC3\xA9|o|Z|?|UAH|EUR|No|fi"},
        {"koi8r", "KOI8-R", "-|-|,,|\"|\"|'|'|<<|>>|...|e|o|Z|\xD0\x96|?|?|No|fi",
         "--|-|,,|\"|\"|'|'|<<|>>|...|e|o|Z|\xD0\x96|\xD0\xB3\xD1\x80\xD0\xBD|EUR|No|fi"},
        {"iso88591", "ISO-8859-1",
         "-|-|,,|\"|\"|'|'|\xC2\xAB|\xC2\xBB|...|\xC3\xA9|o|Z|Z|?|?|No|fi",
         "--|-|,,|\"|\"|'|'|\xC2\xAB|\xC2\xBB|...|\xC3\xA9|o|Z|?|UAH|EUR|No|fi"},
        {"cp1252", "CP1252",
         text.substr(0, text.find("\xC3")) + "\xC3\xA9|o|\xC5\xBD|\xC5\xBD|?|\xE2\x82\xAC|No|fi",
         text.substr(0, text.find("\xC3")) + "\xC3\xA9|o|\xC5\xBD|?|UAH|\xE2\x82\xAC|No|fi"},
    };
    const auto fields = [](const std::string& line) {
        std::vector<std::string> split;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '|');) {
            split.push_back(field);
        }
        return split;
    };
    std::size_t compared = 0;
    std::size_t differ = 0;
    for (const translit_case& c : cases) {
        SCOPED_TRACE(c.table);
        const temp_dir dir;
        const std::string table = tables + "/" + c.table + ".dsc";
        write_file(dir / "in.txt", text);
        ASSERT_EQ(maptool(dir, {"convert", "-t", table, "--translit", "--replace", "in.txt", "-o",
                                "out.txt"})
                      .status,
                  0);
        const program_result back = maptool(dir, {"convert", "-f", table, "out.txt"});
        EXPECT_EQ(back.status, 0) << back.err;
        EXPECT_EQ(back.out, c.ours);
        const std::optional<std::string> theirs = iconv_translit(text, c.charset);
        if (!theirs) {
            continue;
        }
        EXPECT_EQ(*theirs, c.iconv);
        const std::vector<std::string> ours = fields(c.ours);
        const std::vector<std::string> iconvs = fields(c.iconv);
        ASSERT_EQ(ours.size(), iconvs.size());
        for (std::size_t i = 0; i < ours.size(); ++i) {
            ++compared;
            differ += ours[i] != iconvs[i] ? 1 : 0;
        }
    }
    if (compared == 0) {
        GTEST_SKIP() << "iconv with C.UTF-8 is not available: nothing to compare with";
    }
    RecordProperty("differ_from_iconv", std::to_string(differ) + " of " + std::to_string(compared));
    std::printf("--translit differs from iconv's //TRANSLIT in %zu of %zu cases\n", differ,
                compared);
}

// The first line of `maptool which` for a map built from each bundled table.
TEST(Which, FindsTheTableAMapWasBuiltFrom) {
    for (const auto& entry : fs::directory_iterator(tables)) {
        const std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        const temp_dir dir;
        // A relative name: on Windows a word that starts with / is an option.
        write_file(dir / "t.dsc", read_file(entry.path()));
        ASSERT_EQ(maptool(dir, {"build", "t.dsc", "-o", "t.map"}).status, 0);
        const program_result found =
            maptool(dir, {"which", "--tables", tables, "-n", "1", "t.map"});
        EXPECT_EQ(found.status, 0);
        EXPECT_EQ(from_text_mode(found.out), name + ": 0 bytes differ\n");
    }
    // One byte away, at byte 00: close, but not the table.
    const temp_dir dir;
    write_file(dir / "t.dsc", "00, 0080\n" + read_file(fs::path(tables) / "cp866.dsc"));
    ASSERT_EQ(maptool(dir, {"build", "t.dsc", "-o", "t.map"}).status, 0);
    // A file of the folder that is no table is left out with a warning, one of another kind
    // in silence.
    write_file(dir / "known" / "cp866.dsc", read_file(fs::path(tables) / "cp866.dsc"));
    write_file(dir / "known" / "bad.dsc", "junk\n");
    write_file(dir / "known" / "notes.txt", "junk\n");
    const program_result one_off = maptool(dir, {"which", "--tables", "known", "-n", "1", "t.map"});
    EXPECT_EQ(one_off.status, 1);
    EXPECT_EQ(from_text_mode(one_off.out), "cp866: 1 byte differs\n");
    EXPECT_NE(one_off.err.find("bad.dsc: warning: left out: not a table"), std::string::npos)
        << one_off.err;
    EXPECT_EQ(one_off.err.find("notes.txt"), std::string::npos) << one_off.err;
    // --text reads even a map as a sample of text; -n takes a number in decimal.
    const program_result as_text =
        maptool(dir, {"which", "--text", "--tables", "known", "-n", "1", "t.map"});
    EXPECT_NE(as_text.out.find("bytes unmapped"), std::string::npos) << as_text.out;
    EXPECT_EQ(maptool(dir, {"which", "-n", "a", "t.map"}).status, 2);
    // A sample with a byte the best table lacks has no best table: exit 1.
    write_file(dir / "small" / "small.dsc", "80, 0410\n");
    write_file(dir / "sample.txt", "\x81\x80");
    const program_result unmapped =
        maptool(dir, {"which", "--tables", "small", "--color=never", "sample.txt"});
    EXPECT_EQ(unmapped.status, 1);
    EXPECT_EQ(from_text_mode(unmapped.out), "small: 1 bytes unmapped, 0 unlikely\n");
    // What cannot be read is said, with the system's reason, and exits 2.
    const std::vector<std::pair<std::vector<std::string>, std::string>> unreadable = {
        {{"which", "--tables", "none", "t.map"},
         "which: error: cannot read the tables folder none"},
        {{"which", "--tables", "small", "none.txt"}, "none.txt: error: cannot open the file: "},
#if !defined(_WIN32)
        {{"which", "--tables", "small", "."}, ".: error: cannot read: "},
#endif
    };
    for (const auto& [args, err] : unreadable) {
        const program_result run = maptool(dir, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.starts_with(err)) << run.err;
    }
}

// With --iconv, iconv's charsets are known too, by the names iconv -l gives them, each
// page once.
TEST(Which, KnowsTheCharsetsOfIconv) {
#if !defined(MAPTOOL_ICONV) && !defined(MAPTOOL_CODE_PAGES)
    GTEST_SKIP() << "built without iconv";
#endif
    const temp_dir dir;
    write_file(dir / "t.dsc", read_file(fs::path(tables) / "cp1251.dsc"));
    ASSERT_EQ(maptool(dir, {"build", "t.dsc", "-o", "t.map"}).status, 0);
    const program_result found =
        maptool(dir, {"which", "--tables", tables, "--iconv", "-n", "0", "t.map"});
    if (found.status == 2) {
        GTEST_SKIP() << "iconv -l: " << found.err;
    }
    EXPECT_EQ(found.status, 0);
    // The first line is the bundled table; then iconv's, each page once with its aliases
    // (on Windows the system's code pages, under the same names).
    const std::string out = from_text_mode(found.out);
    EXPECT_EQ(out.rfind("cp1251: 0 bytes differ\niconv:CP1251 (also ", 0), 0u) << out;
    EXPECT_NE(out.find("WINDOWS-1251"), std::string::npos) << out;
    EXPECT_EQ(out.find("\niconv:WINDOWS-1251"), std::string::npos) << out;
    EXPECT_NE(out.find("KOI8-R"), std::string::npos) << out;
#if defined(MAPTOOL_ICONV)
    // A charset that leaves bytes from 00 to 7F out reads them as ASCII, as a table does:
    // glibc's EBCDIC page CP038 lacks 41 and others, and is the page of its own import.
    if (maptool(dir, {"import", "--all", "iconv:CP038", "-o", "ebcdic.dsc"}).status != 0) {
        GTEST_SKIP() << "iconv knows no CP038";
    }
    fs::create_directory(dir / "none");
    const program_result ebcdic =
        maptool(dir, {"which", "--tables", "none", "--iconv", "-n", "1", "ebcdic.dsc"});
    EXPECT_EQ(ebcdic.status, 0);
    EXPECT_EQ(ebcdic.out.rfind("iconv:CP038 ", 0), 0u) << ebcdic.out;
#endif
}

// Russian text encoded with each table that can; a table's letters are told by their names.
TEST(Which, FindsTheCodePageOfAText) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character names: a text is scored by unmapped bytes only";
    }
    const std::string russian =
        "\xD0\x92 \xD1\x87\xD0\xB0\xD1\x89\xD0\xB0\xD1\x85 \xD1\x8E\xD0\xB3\xD0\xB0 \xD0\xB6"
        "\xD0\xB8\xD0\xBB \xD0\xB1\xD1\x8B \xD1\x86\xD0\xB8\xD1\x82\xD1\x80\xD1\x83\xD1\x81? "
        "\xD0\x94\xD0\xB0, \xD0\xBD\xD0\xBE \xD1\x84\xD0\xB0\xD0\xBB\xD1\x8C\xD1\x88\xD0\xB8"
        "\xD0\xB2\xD1\x8B\xD0\xB9 \xD1\x8D\xD0\xBA\xD0\xB7\xD0\xB5\xD0\xBC\xD0\xBF\xD0\xBB"
        "\xD1\x8F\xD1\x80\xD1\x8A!\n";
    // Lower case only, and every letter one that a Latin code page reads as a letter too.
    const std::string latin_looking = "\xD0\xB6\xD0\xB8\xD0\xBB \xD0\xB1\xD1\x8B\xD0\xBB "
                                      "\xD0\xBA\xD0\xBE\xD1\x82\n";
    // Short, and in KOI8-R all bytes that cp437 reads as box drawing and signs.
    const std::string box_looking = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, "
                                    "\xD0\xBC\xD0\xB8\xD1\x80\n";
    // ASCII pairs count against no table: "GPL" is no capital inside a word.
    const std::string with_ascii = russian + "GPL v3\n";
    struct sample_case {
        const char* table;
        std::string text;
        std::string after; // what follows the first line
        int status;
    };
    const std::vector<sample_case> samples = {
        {"cp1251", with_ascii, "", 0},
        {"cp866", with_ascii, "", 0},
        {"koi8r", russian, "", 0},
        {"iso88595", russian, "", 0},
        {"cp855", russian, "", 0},
        {"koi8r", box_looking, "", 0},
        // Greek reads these bytes as lower-case letters too: a guess, and said to be one.
        {"cp1251", latin_looking,
         "too close to tell: cp1251 is ahead of cp1253 by 0 unlikely pairs\n", 1},
    };
    for (const sample_case& c : samples) {
        SCOPED_TRACE(c.table + (": " + c.text));
        const temp_dir dir;
        const std::string table = tables + "/" + c.table + ".dsc";
        ASSERT_EQ(maptool(dir, {"convert", "-t", table, "-o", "sample.txt"}, c.text).status, 0);
        const program_result found =
            maptool(dir, {"which", "--tables", tables, "-n", "1", "sample.txt"});
        EXPECT_EQ(found.status, c.status);
        EXPECT_EQ(from_text_mode(found.out),
                  std::string(c.table) + ": 0 bytes unmapped, 0 unlikely\n" + c.after);
    }
}

// A sample that no 8-bit code page reads, or that every table reads alike, has no best
// table: which says what it is instead, and exits 1.
TEST(Which, SaysWhatNoTableTellsApart) {
    struct verdict_case {
        std::string sample;
        std::string out;
    };
    const std::vector<verdict_case> cases = {
        {"\xD0\x9F\xD1\x80\xD0\xB8 GPL \xE2\x80\x94 \xF0\x9F\x98\x80\n",
         "UTF-8 text: 5 characters beyond ASCII; convert reads UTF-8 as it is\n"},
        {"GPL v3\r\n", "ASCII only: every table reads it the same\n"},
        {"", "empty: there is nothing to tell\n"},
        {std::string("\xFF\xFE\x00", 3), "UTF-16 text, little-endian (byte order mark FF FE)\n"},
        {std::string("\xFE\xFF\x04\x1F", 4), "UTF-16 text, big-endian (byte order mark FE FF)\n"},
        {std::string("G\0P\0L\0\x1F\x04", 8),
         "UTF-16 text, little-endian by its NUL bytes (3 of 8 bytes)\n"},
        {std::string("\0G\0P\0L\x04\x1F", 8),
         "UTF-16 text, big-endian by its NUL bytes (3 of 8 bytes)\n"},
        // A byte order mark alone; NULs four to one.
        {"\xFF\xFE", "UTF-16 text, little-endian (byte order mark FF FE)\n"},
        {std::string("\0\0x\0x\0x\0", 8),
         "UTF-16 text, little-endian by its NUL bytes (5 of 8 bytes)\n"},
        {"caf\xC3\xA9\n", "UTF-8 text: 1 character beyond ASCII; convert reads UTF-8 as it is\n"},
    };
    for (const verdict_case& c : cases) {
        SCOPED_TRACE(c.out);
        const temp_dir dir;
        write_file(dir / "sample.txt", c.sample);
        const program_result found = maptool(dir, {"which", "--tables", tables, "sample.txt"});
        EXPECT_EQ(found.status, 1) << found.err;
        EXPECT_EQ(from_text_mode(found.out), c.out);
    }
    // Not UTF-8 once a character is cut or wrongly continued: then the tables are scored.
    for (const std::string& sample : {std::string("\xD0\x9F\xD0"), std::string("\xD0\x9F\xD0("),
                                      std::string("\xC0\x80"), std::string("\xD0\x9F\x80")}) {
        const temp_dir dir;
        write_file(dir / "sample.txt", sample);
        const program_result found = maptool(dir, {"which", "--tables", tables, "sample.txt"});
        EXPECT_NE(found.out.find("bytes unmapped"), std::string::npos) << found.out;
    }
}

struct sample_case {
    std::string text;
    std::uint64_t unmapped;
    std::uint64_t unlikely;
};

TEST(WhichScore, WhatTextOfNoLanguageHolds) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character names: a text is scored by unmapped bytes only";
    }
    const code_table table = table_of({{0x00, 0x0080},
                                       {0x80, 0x0430},
                                       {0x81, 0x0431},
                                       {0x82, 0x0410},
                                       {0x83, 0x00E9},
                                       {0x84, 0x00E8},
                                       {0x85, 0x2500},
                                       {0x86, 0x0085},
                                       {0x87, 0x00AB},
                                       {0x89, 0x2014},
                                       {0x8A, 0x00A0}});
    const code_page page = make_code_page(table, true);
    const std::vector<sample_case> cases = {
        {"ab cd", 0, 0},
        {"\x80\x81 \x82\x80", 0, 0}, // Cyrillic words, a capital first
        {"a\x80", 0, 1},             // two scripts in one word
        {"Z\x80", 0, 1},             // from the last Latin capital too
        {"A\x80 z\x80", 0, 2},       // and from the first capital and the last small letter
        // \203 and \205 are bytes 83 and 85, in octal so that the letter after them stays apart.
        {"\203A \203Z \203e", 0, 2},    // ASCII capitals, and no small one, inside a word
        {"\x80\x82", 0, 1},             // a capital inside a word
        {"\x83\x84 e\x83", 0, 1},       // two accented Latin letters side by side
        {"e\x83", 0, 0},                // but an accented one after an ASCII one
        {"\x80\x85 \x85\x85", 0, 2},    // a sign beside a letter that is no ASCII, two signs
        {"a\205a", 0, 0},               // beside an ASCII letter
        {"\x87\x80\x87", 0, 0},         // quotation marks beside letters
        {"\x80\x89\x80\x8A\x80", 0, 0}, // a dash and a space too
        {"\x86", 0, 1},                 // a C1 control
        {{"\0\0\x80", 3}, 0, 4},        // two at byte 00, and the pairs they start
        {"\x88\x88\x80", 2, 0},         // not in the table, nor is a pair they start
    };
    for (const sample_case& c : cases) {
        SCOPED_TRACE(c.text);
        std::FILE* file = scratch_file();
        ASSERT_NE(file, nullptr);
        std::fwrite(c.text.data(), 1, c.text.size(), file);
        std::rewind(file);
        const result<text_sample> sample = read_sample(file);
        std::fclose(file);
        ASSERT_TRUE(sample);
        const sample_fit fit = fit_sample(page, *sample);
        EXPECT_EQ(fit.unmapped, c.unmapped);
        EXPECT_EQ(fit.unlikely, c.unlikely);
    }
    // The best's lead over the next, in unmapped bytes first; from clear_margin on, clear.
    const struct {
        sample_fit best;
        sample_fit next;
        std::optional<std::string> lead;
    } leads[] = {
        {{0, 0}, {0, 1}, "1 unlikely pair"},
        {{0, 0}, {0, clear_margin}, std::nullopt},
        {{0, 3}, {1, 0}, "1 unmapped byte"},
    };
    for (const auto& [best, next, lead] : leads) {
        EXPECT_EQ(narrow_lead(best, next), lead) << next.unmapped << ' ' << next.unlikely;
    }
}

} // namespace
