// maptool convert and which: text through a table both ways, what cannot be converted and
// where, blocks that split a character; the known table a table or a text sample is.

#include "engine/convert.h"
#include "run_program.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>

#include <optional>
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
};

const std::vector<std::pair<int, int>> cyrillic = {{0x80, 0x0410}, {0x81, 0x0411}};

TEST(Convert, EachWayWithItsStopsAtEveryBlockSize) {
    const std::vector<convert_case> cases = {
        {"unlisted low bytes are ASCII", cyrillic, direction::decode, "A\x80\x81\n",
         "A\xD0\x90\xD0\x91\n", std::nullopt},
        {"and back", cyrillic, direction::encode, "A\xD0\x90\xD0\x91\n", "A\x80\x81\n",
         std::nullopt},
        {"--no-ascii: an unlisted low byte stops", cyrillic, direction::decode,
         "\x80"
         "A",
         "\xD0\x90", stopped_at{"byte 41 is not in the table", 1, 1, 2}, unmappable::stop, "",
         false},
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
        {"a repeated byte decodes as its first entry",
         {{0x80, 0x0411}, {0x80, 0x0410}},
         direction::decode,
         "\x80",
         "\xD0\x91",
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
        {"an overlong form is invalid", cyrillic, direction::encode, "\xE0\x80\x80", "",
         stopped_at{"invalid UTF-8 from byte E0", 0, 1, 1}},
        {"a surrogate is invalid", cyrillic, direction::encode, "a\xED\xA0\x80", "a",
         stopped_at{"invalid UTF-8 from byte ED", 1, 1, 2}},
        {"a character cut off by the end", cyrillic, direction::encode, "\xD0\x90\xD0", "\x80",
         stopped_at{"incomplete UTF-8 character at the end of the input", 2, 1, 2}},
    };
    for (const convert_case& c : cases) {
        const code_page page = make_code_page(table_of(c.entries), c.ascii);
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
            std::string output;
            const auto done = convert_stream(page, settings, in, [&output](std::string_view bytes) {
                output += bytes;
                return true;
            });
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

TEST(Convert, FilesStandardStreamsAndTheOutputFile) {
    const std::string ru = "\xCF\xF0\xE8\xE2\xE5\xF2\n"; // Привет
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n";
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
        {"--replace=CHAR: the table's byte for CHAR",
         {"convert", "-t", "star.dsc", "--replace=*"},
         "a\xC3\xA9",
         0,
         "a\x80",
         "",
         "old"},
        {"the table and the input cannot both be standard input",
         {"convert", "-f", "-"},
         "",
         2,
         "",
         "maptool convert: standard input can be read only once: name the table or the input "
         "FILE\nUsage: maptool convert [OPTIONS] [FILE...]; see 'maptool help convert'\n",
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
        write_file(dir / "star.dsc", "80, 002A\n");
        const program_result run = maptool(dir, c.args, c.input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(read_file(dir / "out.txt"), c.left_in_out_txt);
    }
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
}

// With --iconv, iconv's charsets are known too, by the names iconv -l gives them, each
// page once.
TEST(Which, KnowsTheCharsetsOfIconv) {
#if !defined(MAPTOOL_ICONV)
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
    // The first line is the bundled table; then iconv's, each page once with its aliases.
    EXPECT_EQ(found.out.rfind("cp1251: 0 bytes differ\niconv:CP1251 (also ", 0), 0u) << found.out;
    EXPECT_NE(found.out.find("WINDOWS-1251"), std::string::npos) << found.out;
    EXPECT_EQ(found.out.find("\niconv:WINDOWS-1251"), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("KOI8-R"), std::string::npos) << found.out;
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
    const std::vector<std::pair<const char*, std::string>> samples = {
        {"cp1251", russian},   {"cp866", russian}, {"koi8r", russian},
        {"iso88595", russian}, {"cp855", russian}, {"cp1251", latin_looking},
        {"koi8r", box_looking}};
    for (const auto& [name, text] : samples) {
        SCOPED_TRACE(name + (": " + text));
        const temp_dir dir;
        const std::string table = tables + "/" + name + ".dsc";
        ASSERT_EQ(maptool(dir, {"convert", "-t", table, "-o", "sample.txt"}, text).status, 0);
        const program_result found =
            maptool(dir, {"which", "--tables", tables, "-n", "1", "sample.txt"});
        EXPECT_EQ(found.status, 0);
        EXPECT_EQ(from_text_mode(found.out),
                  std::string(name) + ": 0 bytes unmapped, 0 unlikely\n");
    }
}

} // namespace
