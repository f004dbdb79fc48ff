// maptool against hostile names and files: what it prints carries no control sequence from
// the input, what it writes mapmaker reads back as meant, and what it replaces it replaces
// with care.

#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

program_result run_in(const temp_dir& dir, const char* program,
                      const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    program_result result = run_program(program, dir.path(), args, "");
    result.out = from_text_mode(result.out);
    result.err = from_text_mode(result.err);
    return result;
}

program_result maptool(const temp_dir& dir, const std::vector<std::string>& arguments) {
    return run_in(dir, MAPTOOL_PATH, arguments);
}

long this_process() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

// The first place in text that a terminal would act on or that would reorder the text:
// a control character other than LF, DEL, a C1 control (as a byte or in UTF-8), a
// bidirectional override or isolate; npos when there is none.
std::size_t first_control(const std::string& text) {
    static const std::vector<std::string> utf8 = {"\xC2\x80",     "\xC2\x9B",     "\xC2\x9F",
                                                  "\xE2\x80\xAA", "\xE2\x80\xAE", "\xE2\x81\xA6",
                                                  "\xE2\x81\xA9"};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F) {
            return i;
        }
        for (const std::string& sequence : utf8) {
            if (text.compare(i, sequence.size(), sequence) == 0) {
                return i;
            }
        }
    }
    return std::string::npos;
}

const std::string DSC = "//t -> UNICODE\n80, 0410\n81, 0411 // CYRILLIC CAPITAL LETTER A\n";
const std::string MAP("\x00\x02\x80\x04\x10\x81\x04\x11", 8);
// A name with an OSC 8 hyperlink, BEL, DEL, a C1 CSI in UTF-8 and a right-to-left override.
const std::string HOSTILE = "a\x1B]8;;x\x07\x7F\xC2\x9B\xE2\x80\xAE";
const std::string SHOWN = "a<1B>]8;;x<07><7F><U+009B><U+202E>";

struct shown_case {
    std::vector<std::string> arguments;
    std::string expected; // a line of standard output or error, as shown
};

TEST(Hostile, NamesFromTheInputReachTheTerminalAsText) {
    std::vector<shown_case> cases = {
        // Comments, charmap names and excerpts, on every system.
        {{"check", "bidi.dsc"}, "    3 | 8G, 0411 // A<U+202E>B<U+2066>C<U+0085>\n"},
        {{"import", "cm.txt"}, "//A<1A><1B>[2J<U+202E> -> UNICODE\n"},
    };
#if !defined(_WIN32)
    // File names: Windows takes no control character in a name.
    cases.insert(cases.end(),
                 {
                     {{"check", HOSTILE + ".dsc"}, SHOWN + ".dsc:3:13: warning: "},
                     {{"build", HOSTILE + ".dsc"}, SHOWN + ".map: 2 entries\n"},
                     {{"dump", "t.map", "-o", HOSTILE}, SHOWN + ": 2 entries\n"},
                     {{"dump", HOSTILE + ".map"}, "//" + SHOWN + " -> UNICODE\n"},
                     {{"diff", HOSTILE + ".dsc", "one.dsc"}, "--- " + SHOWN + ".dsc\n"},
                     {{"import", "cm.txt", "-o", HOSTILE}, SHOWN + ": 2 entries\n"},
                     {{"dump", HOSTILE}, SHOWN + ":1:1: error: not a table: "},
                     {{"fmt", HOSTILE}, SHOWN + ":1:1: error: "},
                     {{"fmt", "--check", HOSTILE + ".txt"}, SHOWN + ".txt: would be reformatted\n"},
                     {{"fmt", "--diff", HOSTILE + ".txt"}, "--- " + SHOWN + ".txt\n"},
                 });
#endif
    for (const shown_case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        const temp_dir dir;
        write_file(dir / "bidi.dsc", "//t -> UNICODE\n80, 0410\n8G, 0411 // A\xE2\x80\xAE"
                                     "B\xE2\x81\xA6"
                                     "C\xC2\x85\n");
        write_file(dir / "cm.txt", "<code_set_name> A\x1A\x1B[2J\xE2\x80\xAE\nCHARMAP\n"
                                   "<U0410> \\x80\n<U0411> \\x81\nEND CHARMAP\n");
        write_file(dir / "t.map", MAP);
        write_file(dir / "one.dsc", "80, 0410\n");
#if !defined(_WIN32)
        write_file(dir / (HOSTILE + ".dsc"), DSC);
        write_file(dir / (HOSTILE + ".map"), MAP);
        write_file(dir / HOSTILE, "x");
        write_file(dir / (HOSTILE + ".txt"), "  80,410\n");
#endif
        const program_result result = maptool(dir, c.arguments);
        const std::string printed = result.out + result.err;
        EXPECT_EQ(first_control(printed), std::string::npos) << printed;
        EXPECT_NE(printed.find(c.expected), std::string::npos) << printed;
    }
}

TEST(Hostile, FileNameNotInUtf8StaysIdentifiableInJson) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows file names are UTF-16: every name there is valid UTF-8 here";
#else
    const temp_dir dir;
    write_file(dir / "caf\xE9.dsc", DSC);
    const program_result result = maptool(dir, {"check", "--format=json", "caf\xE9.dsc"});
    EXPECT_EQ(result.status, 1); // the warning of DSC
    EXPECT_NE(result.out.find("\"file\": \"caf<E9>.dsc\",\n    \"file_bytes\": "
                              "\"636166E92E647363\""),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("\xEF\xBF\xBD"), std::string::npos) << result.out; // no U+FFFD
#endif
}

struct round_trip_case {
    std::string what;
    std::string source_name;            // written with source, then given to maptool
    std::string source;                 //
    std::vector<std::string> arguments; // of maptool, after the source; -o cp.dsc follows
};

// What maptool writes into a DSC file, mapmaker reads back as the entries meant: no name
// splits a line, ends the text or starts an entry of its own.
TEST(Hostile, GeneratedDscFilesConvertBack) {
    std::string long_name;
    for (int i = 0; i < 150; ++i) {
        long_name += "\xD0\x94"; // 300 bytes of Д
    }
    const std::string charmap_end =
        "\nCHARMAP\n<U0410> \\x80 " + long_name + "\n<U0411> \\x81 B\x1A\nEND CHARMAP\n";
    std::vector<round_trip_case> cases = {
        {"Ctrl-Z in the code set name", "cm", "<code_set_name> A\x1A" + charmap_end, {"import"}},
        {"a long code set name", "cm", "<code_set_name> x" + long_name + charmap_end, {"import"}},
        {"a long --name",
         "cm",
         "<code_set_name> A" + charmap_end,
         {"import", "--name", "n" + long_name}},
        {"a map file name of 250 bytes", std::string(246, 'm') + ".map", MAP, {"dump"}},
    };
#if !defined(_WIN32)
    cases.push_back({"a map file name holding LF", "x\n81, 0412\ny.map", MAP, {"dump"}});
#endif
    for (const round_trip_case& c : cases) {
        SCOPED_TRACE(c.what);
        const temp_dir dir;
        write_file(dir / c.source_name, c.source);
        std::vector<std::string> arguments = {c.arguments[0], c.source_name};
        arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
        arguments.insert(arguments.end(), {"-o", "cp.dsc"});
        const program_result written = maptool(dir, arguments);
        ASSERT_EQ(written.status, 0) << written.err;
        const program_result made = run_in(dir, MAPMAKER_PATH, {"cp.dsc"});
        EXPECT_EQ(made.status, 0) << made.out;
        EXPECT_EQ(read_file(dir / "cp.map"), MAP);
        EXPECT_EQ(maptool(dir, {"check", "cp.dsc"}).out, "0 errors and 0 warnings in 1 file\n");
    }
}

TEST(Hostile, ImportDoesNotWriteOverItsSource) {
    const temp_dir dir;
    const std::string source = "<code_set_name> T\nCHARMAP\n<U0410> \\x80\nEND CHARMAP\n";
    write_file(dir / "src.txt", source);
    for (const std::string output : {"src.txt", "./src.txt"}) {
        const program_result result = maptool(dir, {"import", "src.txt", "-o", output});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err,
                  "src.txt: error: the DSC file " + output + " is this table's own file\n");
        EXPECT_EQ(read_file(dir / "src.txt"), source);
    }
}

// The names in a folder, sorted, one a line.
std::string listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        text += name + '\n';
    }
    return text;
}

TEST(Hostile, MapWithTheLongestNameIsReplaced) {
    const temp_dir dir;
    const std::string name = std::string(251, 'n');
    write_file(dir / (name + ".dsc"), DSC);
    write_file(dir / (name + ".map"), "old");
    const program_result result = maptool(dir, {"build", name + ".dsc"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read_file(dir / (name + ".map")), MAP);
    EXPECT_EQ(listing(dir.path()), name + ".dsc\n" + name + ".map\n");
}

TEST(Hostile, StaleTemporaryFilesAreRemovedLiveOnesKept) {
    const temp_dir dir;
    write_file(dir / "t.dsc", DSC);
    // This test runs while maptool does; 999999999 is above every process id there is.
    const std::string live = "t.map.maptool-" + std::to_string(this_process()) + ".tmp";
    const std::string stale = "t.map.maptool-999999999.tmp";
    const std::string other = "u.map.maptool-999999999.tmp"; // another map's
    for (const std::string& name : {live, stale, other}) {
        write_file(dir / name, "x");
    }
    const program_result result = maptool(dir, {"build", "t.dsc"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(listing(dir.path()), "t.dsc\nt.map\n" + live + "\n" + other + "\n");
}

// Folder and file permissions as a user who is not root meets them: as root, the test
// runs maptool as nobody through setpriv.
TEST(Hostile, ReadOnlyMapAndFolder) {
#if defined(_WIN32)
    GTEST_SKIP() << "POSIX permissions";
#else
    std::vector<std::string> as_user;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) {
            GTEST_SKIP() << "run as root without setpriv to drop the privileges";
        }
        as_user = {"--reuid=65534", "--regid=65534", "--clear-groups", MAPTOOL_PATH};
    }
    using p = fs::perms;
    struct case_ {
        p folder;
        p map;
        int status;
        std::string err;
        bool replaced;
    };
    const p all = p::owner_all | p::group_all | p::others_all;
    const p rw = p::owner_read | p::owner_write | p::group_read | p::group_write | p::others_read |
                 p::others_write;
    const p r = p::owner_read | p::group_read | p::others_read;
    const std::vector<case_> cases = {
        {all, r, 2, "t.map: error: cannot write the map file: Permission denied\n", false},
        {all & ~(p::owner_write | p::group_write | p::others_write), rw, 0,
         "t.map: warning: its folder takes no temporary file: written in place, not replaced as "
         "a whole\n",
         true},
    };
    for (const case_& c : cases) {
        const temp_dir dir;
        write_file(dir / "t.dsc", "80, 0410\n81, 0411\n");
        write_file(dir / "t.map", "old");
        fs::permissions(dir / "t.map", c.map);
        fs::permissions(dir.path(), c.folder);
        std::vector<std::string> arguments = as_user;
        arguments.insert(arguments.end(), {"build", "t.dsc"});
        const program_result result =
            as_user.empty() ? maptool(dir, arguments) : run_in(dir, "/usr/bin/setpriv", arguments);
        fs::permissions(dir.path(), all);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(read_file(dir / "t.map"), c.replaced ? MAP : "old");
        EXPECT_EQ(listing(dir.path()), "t.dsc\nt.map\n");
    }
#endif
}

// Replacing a map gives it a new file: a hard link elsewhere keeps the old one, as the
// manual says.
TEST(Hostile, HardLinkKeepsTheOldMap) {
    const temp_dir dir;
    write_file(dir / "t.dsc", DSC);
    write_file(dir / "t.map", "old");
    std::error_code unsupported;
    fs::create_hard_link(dir / "t.map", dir / "link.map", unsupported);
    if (unsupported) {
        GTEST_SKIP() << "no hard links here: " << unsupported.message();
    }
    EXPECT_EQ(maptool(dir, {"build", "t.dsc"}).status, 0);
    EXPECT_EQ(read_file(dir / "t.map"), MAP);
    EXPECT_EQ(read_file(dir / "link.map"), "old");
}

} // namespace
