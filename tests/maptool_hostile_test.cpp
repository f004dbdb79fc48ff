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
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
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

// A temporary file is named after its map: a name too long for the mark after it is cut
// between two characters, never inside one (no name at all on Windows, where a file name
// is characters), and a run finds the temporaries left by the same cut.
TEST(Hostile, StaleTemporaryFilesAreRemovedLiveOnesKept) {
    std::string long_name = "a";
    for (int i = 0; i < 125; ++i) {
        long_name += "\xC3\xA9"; // 251 bytes, then ".map"
    }
    std::vector<std::pair<std::string, std::string>> cases = {
        {"t", "t.map"}, {long_name, long_name.substr(0, 231)}, // byte 232 is the second of an é
    };
#if !defined(_WIN32)
    // Bytes that are no UTF-8, as a POSIX file name may hold: no character to cut after.
    cases.emplace_back(std::string(251, '\x80'), "");
#endif
    for (const auto& [name, prefix] : cases) {
        const temp_dir dir;
        write_file(dir.path() / utf8_path(name + ".dsc"), DSC);
        // This test runs while maptool does; 999999999 is above every process id there is.
        const std::string live = prefix + ".maptool-" + std::to_string(this_process()) + ".tmp";
        const std::string other = "u.map.maptool-999999999.tmp";      // another map's
        const std::string no_id = prefix + ".maptool-999999999x.tmp"; // not a process id
        for (const std::string& file : {live, other, no_id}) {
            write_file(dir.path() / utf8_path(file), "x");
        }
        // Several, so that the folder most likely lists one before the live one: its test
        // must not take the failed test of the one before for its own.
        std::vector<std::string> stale;
        for (int id = 999999990; id <= 999999999; ++id) {
            stale.push_back(prefix + ".maptool-" + std::to_string(id) + ".tmp");
            write_file(dir.path() / utf8_path(stale.back()), "x");
        }
        const program_result result = maptool(dir, {"build", name + ".dsc"});
        EXPECT_EQ(result.status, 0) << result.err;
        for (const std::string& file : {name + ".dsc", name + ".map", live, other, no_id}) {
            EXPECT_TRUE(fs::exists(dir.path() / utf8_path(file))) << file;
        }
        for (const std::string& file : stale) {
            EXPECT_FALSE(fs::exists(dir.path() / utf8_path(file))) << file;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
    }
}

// Folder and file permissions as a user who is not root meets them: as root, the test
// runs maptool as nobody through setpriv, with a second group, 4321.
TEST(Hostile, ReadOnlyMapAndFolder) {
#if defined(_WIN32)
    GTEST_SKIP() << "POSIX permissions";
#else
    std::vector<std::string> as_user;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) {
            GTEST_SKIP() << "run as root without setpriv to drop the privileges";
        }
        as_user = {"--reuid=65534", "--regid=65534", "--groups=4321", MAPTOOL_PATH};
    }
    using p = fs::perms;
    struct case_ {
        p folder;
        p map;
        int status;
        std::string err;
        bool replaced;
        const char* verb = "build"; // build writes t.map; chart, told to, too
        // The old map is root's, of group 4321: the new one, nobody's, keeps that group
        // (tried as root only).
        bool their_group = false;
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
        {all & ~(p::owner_write | p::group_write | p::others_write), rw, 0,
         "t.map: warning: its folder takes no temporary file: written in place, not replaced as "
         "a whole\n",
         true, "chart"},
        {all, rw, 0, "", true, "build", true},
    };
    for (const case_& c : cases) {
        if (c.their_group && as_user.empty()) {
            continue;
        }
        const temp_dir dir;
        write_file(dir / "t.dsc", "80, 0410\n81, 0411\n");
        write_file(dir / "t.map", "old");
        if (c.their_group) {
            ASSERT_EQ(::chown((dir / "t.map").c_str(), static_cast<uid_t>(-1), 4321), 0);
        }
        fs::permissions(dir / "t.map", c.map);
        fs::permissions(dir.path(), c.folder);
        std::vector<std::string> arguments = as_user;
        arguments.insert(arguments.end(), {c.verb, "t.dsc"});
        if (std::string_view(c.verb) == "chart") {
            arguments.insert(arguments.end(), {"-o", "t.map"});
        }
        const program_result result =
            as_user.empty() ? maptool(dir, arguments) : run_in(dir, "/usr/bin/setpriv", arguments);
        fs::permissions(dir.path(), all);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
        const std::string written = std::string_view(c.verb) == "chart" ? "<!DOCTYPE html>" : MAP;
        EXPECT_TRUE(read_file(dir / "t.map").starts_with(c.replaced ? written : "old")) << c.verb;
        EXPECT_EQ(listing(dir.path()), "t.dsc\nt.map\n");
        struct stat info {};
        EXPECT_EQ(::stat((dir / "t.map").c_str(), &info), 0);
        EXPECT_EQ(info.st_gid == 4321, c.their_group) << info.st_gid;
    }
#endif
}

// A folder that takes no new file even from root (Linux's immutable attribute, EPERM rather
// than EACCES): the map is written in place there too, and so is a file fmt rewrites.
TEST(Hostile, ImmutableFolderHasTheMapWrittenInPlace) {
#if !defined(__linux__)
    GTEST_SKIP() << "Linux's immutable attribute";
#else
    const temp_dir dir;
    write_file(dir / "t.dsc", DSC);
    write_file(dir / "t.map", "old");
    write_file(dir / "u.dsc", "80,0410\n");
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (::ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0 ||
        ::ioctl(folder, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) != 0) {
        ::close(folder);
        GTEST_SKIP() << "the folder cannot be made immutable here (root on ext4 can)";
    }
    const program_result result = maptool(dir, {"build", "t.dsc"});
    const program_result formatted = maptool(dir, {"fmt", "u.dsc"});
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(folder, FS_IOC_SETFLAGS, &flags);
    ::close(folder);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.err.ends_with("t.map: warning: its folder takes no temporary file: "
                                     "written in place, not replaced as a whole\n"))
        << result.err;
    EXPECT_EQ(read_file(dir / "t.map"), MAP);
    EXPECT_EQ(formatted.status, 0);
    EXPECT_TRUE(formatted.err.ends_with("u.dsc: warning: its folder takes no temporary file: "
                                        "written in place, not replaced as a whole\n"))
        << formatted.err;
    EXPECT_EQ(read_file(dir / "u.dsc"), "80, 0410\n");
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

// maptool run by the POSIX shell, as $0 of script, in the test's folder: for redirections
// and limits that only a shell sets up.
program_result shell(const temp_dir& dir, const std::string& script) {
    return run_in(dir, "/bin/sh", {"-c", script, MAPTOOL_PATH});
}

const std::string CHARMAP = "<code_set_name> T\n<escape_char> /\nCHARMAP\n<U0411> /x81 B\n"
                            "<U0410> /x80 CYRILLIC CAPITAL LETTER A\nEND CHARMAP\n";

// Whatever a verb writes to standard output, when it cannot be written the run fails with
// the system's reason; a large output loses its first failed write in the C library's
// buffer long before the end.
TEST(Hostile, StandardOutputThatCannotBeWritten) {
#if defined(_WIN32)
    GTEST_SKIP() << "no /dev/full";
#else
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const temp_dir dir;
    write_file(dir / "t.dsc", DSC);
    write_file(dir / "u.dsc", "80, 0410\n");
    write_file(dir / "f.dsc", "80,0410\n");
    std::string bad; // findings of many kB, far more than the C library's buffer holds
    for (int i = 0; i < 300; ++i) {
        bad += "zz, 0410\n";
    }
    write_file(dir / "bad.dsc", bad);
    // A text whose byte 90, which t.dsc leaves out, comes after the first failed write.
    write_file(dir / "long.txt", std::string(1 << 17, 'a') + "\x90");
    fs::create_directory(dir / "tables");
    write_file(dir / "tables" / "t.dsc", DSC);
    const std::string reason = "cannot write to standard output: No space left on device\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"check t.dsc", "maptool: " + reason},
        {"check --format=json t.dsc", "maptool: " + reason},
        {"check bad.dsc", "maptool: " + reason},
        {"which --tables tables t.dsc", "maptool: " + reason},
        {"diff t.dsc u.dsc", "maptool: " + reason},
        {"help", "maptool: " + reason},
        {"fmt --diff f.dsc", "maptool: " + reason},
        {"dump t.dsc", "<stdout>: error: cannot write the DSC file: " + reason},
        {"build t.dsc -o -", "<stdout>: error: cannot write the map: No space left on device\n"},
        {"build t.dsc -o /dev/full", // a device, written in place
         "/dev/full: error: cannot write the map file: No space left on device\n"},
        {"convert -f t.dsc t.dsc", "<stdout>: error: cannot write: No space left on device\n"},
        {"convert -f t.dsc <u.dsc", "<stdout>: error: cannot write: No space left on device\n"},
        {"convert -f t.dsc long.txt", "<stdout>: error: cannot write: No space left on device\n"},
    };
    for (const auto& [arguments, error] : cases) {
        const program_result result = shell(dir, "exec \"$0\" " + arguments + " >/dev/full");
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_TRUE(result.err.ends_with(error)) << arguments << ": " << result.err;
        // The failed write ends the run: nothing after it is read on and found wrong.
        EXPECT_EQ(result.err.find(": error: "), result.err.rfind(": error: ")) << arguments;
    }
#endif
}

// A DSC file removed while diff reads the other table from a pipe cannot give its text for
// the diff: said, and the run fails. The writer's last bytes fit the pipe only once diff
// reads it, which it does after the first table.
TEST(Hostile, TableRemovedBeforeItsTextIsRead) {
#if defined(_WIN32)
    GTEST_SKIP() << "no POSIX shell";
#else
    const temp_dir dir;
    write_file(dir / "a.dsc", DSC);
    std::string b = "80, 0411\n";
    while (b.size() < (std::size_t{1} << 18)) {
        b += "// " + std::string(60, 'x') + "\n";
    }
    write_file(dir / "b.dsc", b);
    const program_result result =
        shell(dir, "{ cat b.dsc; rm a.dsc; } | exec \"$0\" diff ./a.dsc -");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "./a.dsc: error: cannot open the file: No such file or directory\n");
#endif
}

TEST(Hostile, LoopOfLinksAsOutputIsRefused) {
    const temp_dir dir;
    write_file(dir / "t.dsc", DSC);
    std::error_code unsupported;
    fs::create_symlink("b.map", dir / "a.map", unsupported);
    fs::create_symlink("a.map", dir / "b.map", unsupported);
    if (unsupported) {
        GTEST_SKIP() << "no symbolic links here: " << unsupported.message();
    }
    const program_result result = maptool(dir, {"build", "t.dsc", "-o", "a.map"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.ends_with(
        "a.map: error: cannot write the map file: Too many levels of symbolic links\n"))
        << result.err;
    EXPECT_EQ(fs::read_symlink(dir / "a.map"), "b.map");
    EXPECT_EQ(fs::read_symlink(dir / "b.map"), "a.map");
    EXPECT_EQ(listing(dir.path()), "a.map\nb.map\nt.dsc\n");
}

// Under a file size limit a write fails rather than kill the run: the old file stays, and
// no temporary file; a source from a pipe finds its scratch copy cut short. The limit is
// maptool's alone: what it says goes through a pipe, to a file without the limit. Likewise
// under a limit of open files that lets the file to format be opened only once.
TEST(Hostile, FileSizeLimit) {
#if defined(_WIN32)
    GTEST_SKIP() << "no file size limit";
#else
    const temp_dir dir;
    write_file(dir / "t.dsc", data_lines(2, 0x0410));
    write_file(dir / "src.txt", CHARMAP);
    // Reformatted, more than the C library holds before it writes.
    const std::string unformatted = "80,0410\n" + std::string(70000, '\n');
    struct limit_case {
        std::string arguments;
        std::string error;
        std::string old = "old"; // out, before and after
        std::string limit = "ulimit -f 0";
    };
    const std::vector<limit_case> cases = {
        {"build t.dsc -o out", "out: error: cannot write the map file: File too large\n"},
        {"import src.txt -o out", "out: error: cannot write the DSC file: File too large\n"},
        {"export --format=ucm t.dsc -o out", "out: error: cannot write the file: File too large\n"},
        {"dump - -o out <t.dsc", "out: error: cannot write the DSC file: File too large\n"},
        {"dump - </dev/zero", "<stdin>: error: cannot make a scratch copy of the file: File too "
                              "large\n"},
        {"fmt out", "out: error: cannot write the file: File too large\n", unformatted},
        {"fmt out", "out: error: cannot write the file: File too large\n", "80,0410\n"},
        {"fmt out", "out: error: cannot open the file: Too many open files\n", unformatted,
         "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-; ulimit -n 4"},
    };
    // The sanitizers' runtime needs descriptors of its own (a pipe, to see whether memory
    // can be read): under a limit of open files it reports faults that are none.
#if defined(__SANITIZE_ADDRESS__)
    const bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    const bool sanitized = true;
#else
    const bool sanitized = false;
#endif
#else
    const bool sanitized = false;
#endif
    bool left_out = false;
    for (const limit_case& c : cases) {
        if (sanitized && c.limit.find("ulimit -n") != std::string::npos) {
            left_out = true;
            continue;
        }
        write_file(dir / "out", c.old);
        const program_result result = shell(dir, "( (" + c.limit + "; exec \"$0\" " + c.arguments +
                                                     ") 2>&1; echo status $? ) | cat");
        EXPECT_EQ(result.out, c.error + "status 2\n") << c.arguments;
        EXPECT_EQ(read_file(dir / "out"), c.old) << c.arguments;
        EXPECT_EQ(listing(dir.path()), "out\nsrc.txt\nt.dsc\n") << c.arguments;
    }
    if (left_out) {
        GTEST_SKIP() << "the limit of open files is not tried under the sanitizers";
    }
#endif
}

// A pipe or device is read into a scratch file of bounded size: an endless one ends.
TEST(Hostile, EndlessSourceEnds) {
#if defined(_WIN32)
    GTEST_SKIP() << "no /dev/zero";
#else
    const temp_dir dir;
    const std::string too_much =
        "error: more than 64 MiB from a pipe or device, more than any table holds\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"exec \"$0\" dump /dev/zero", "/dev/zero: " + too_much},
        {"yes | exec \"$0\" import - -o out", "<stdin>: " + too_much},
        {"head -c 67108865 /dev/zero | exec \"$0\" dump -", "<stdin>: " + too_much},
        // As much as is allowed: read, and found to be no table.
        {"head -c 67108864 /dev/zero | exec \"$0\" dump -",
         "error: a line of more than 4096 bytes, longer than any table's: not read on\n"},
    };
    for (const auto& [script, error] : cases) {
        const program_result result = shell(dir, script);
        EXPECT_EQ(result.status, 2) << script;
        EXPECT_NE(result.err.find(error), std::string::npos) << script << ": " << result.err;
    }
    EXPECT_EQ(listing(dir.path()), "");
#endif
}

// Memory running out at any allocation of the end of a run, where the output is written
// and said: the run does what it does with enough memory, or keeps the old output, says it
// ran out and fails; it leaves no temporary file. A stable sort whose buffer is refused sorts
// in place and succeeds. A library that reports the shortage as an error code (ICU's
// converter names, glibc's iconv) is not taken at its word: a name it knows stays refused.
// The output's name is too long to be kept within a string: saying it allocates.
TEST(Hostile, MemoryRunningOutWhileWriting) {
#if !defined(FAIL_MALLOC_LIBRARY)
    GTEST_SKIP() << "needs the failing allocator (Linux, without a sanitizer)";
#else
    const temp_dir dir;
    write_file(dir / "t.dsc", data_lines(2, 0x0410));
    write_file(dir / "src.txt", CHARMAP);
    // More than one block of text: zlib takes its window only for a second one.
    ASSERT_EQ(shell(dir, "(cat src.txt; yes % | head -n 40000) | gzip >src.gz").status, 0);
    const std::string preload = "LD_PRELOAD=" FAIL_MALLOC_LIBRARY " ";
    // The arguments, and the library whose allocations fail (all of them for a library);
    // without one, the last 61 allocations of the run.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"build t.dsc -o output.map", ""},
        {"import src.txt -o output.map", ""},
        {"export --format=ucm --name=ibm-866 t.dsc -o output.map", "libicuuc"},
        {"export --format=charmap --name=KOI8-R t.dsc -o output.map", "libc.so"},
        {"import src.gz -o output.map", "libz"}, // its state, then its window
    };
    for (const auto& [arguments, from] : cases) {
        const std::string run = "exec \"$0\" " + arguments;
        write_file(dir / "output.map", "old");
        const program_result ok = shell(dir, run);
        const std::string expected = read_file(dir / "output.map");
        const std::string failing = preload + "FAIL_MALLOC_FROM=" + from + " ";
        ASSERT_EQ(shell(dir, "FAIL_MALLOC_AT=0 FAIL_MALLOC_COUNT=count " + failing + run).status,
                  ok.status);
        const long total = std::stol(read_file(dir / "count"));
        fs::remove(dir / "count");
        for (long n = from.empty() ? std::max(1L, total - 60) : 1; n <= total; ++n) {
            write_file(dir / "output.map", "old");
            const program_result result = shell(dir, "FAIL_MALLOC_AT=" + std::to_string(n) +
                                                         " FAIL_MALLOC_ONCE=1 " + failing + run);
            const bool done = result.status == ok.status && result.out == ok.out &&
                              read_file(dir / "output.map") == expected;
            const bool kept = result.status == 2 &&
                              result.err.ends_with("maptool: out of memory\n") &&
                              read_file(dir / "output.map") == "old";
            EXPECT_TRUE(done || kept) << arguments << ", allocation " << n << " of " << total
                                      << " failing: status " << result.status << ", " << result.err;
            EXPECT_EQ(listing(dir.path()), "output.map\nsrc.gz\nsrc.txt\nt.dsc\n")
                << arguments << ", " << n;
        }
    }
#endif
}
