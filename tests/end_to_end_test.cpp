// Runs the built mapmaker in a fresh folder and checks what it prints, its exit status,
// the map file it writes and that the DSC file is left as it was.

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace fs = std::filesystem;

namespace {

struct outcome {
    std::string output;
    int status = -1;
};

// Runs the tool in dir with the given argument vector, argv[0] included.
outcome run_in(const fs::path& dir, const std::vector<std::string>& args) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe_fds[1], STDOUT_FILENO);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (::chdir(dir.c_str()) == 0) {
            ::execv(MAPMAKER_PATH, argv.data());
        }
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    outcome result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipe_fds[0]);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return result;
}

outcome run_tool(const fs::path& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "mapmaker");
    return run_in(dir, args);
}

const std::string EXAMPLE_DSC = "//cp866 -> UNICODE\r\n"
                                "80, 0410 // Cyrillic capital letter A\r\n"
                                "AD, 043D // Cyrillic small letter EN\r\n";
const std::string EXAMPLE_MAP("\x00\x02\x80\x04\x10\xAD\x04\x3D", 8);

std::string usage_for(const std::string& program) {
    return "Codepage map file creator for Lirvane v 0.1 (beta)\n"
           "Fill free to send comments to mapmaker@example.org\n"
           "\n"
           "Usage: " +
           program +
           " dsc-file [map-file]\n"
           "dsc-file format:\n"
           "'source codepage character 8bit code(hex)', 'UNICODE character 16bit code(hex)'\n"
           "DSC-file example:\n"
           "//cp866 -> UNICODE\n"
           "80, 0410 // Cyrillic capital letter A\n"
           "AD, 043D // Cyrillic small letter EN\n"
           "...\n"
           "\n";
}

std::vector<std::string> folder_listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// --- Usage text -----------------------------------------------------------------------

TEST(EndToEnd, UsageTextWhenAskedOrNothingNamed) {
    const std::vector<std::vector<std::string>> calls = {
        {}, {"-h"}, {"/?"}, {"?"}, {"h"}, {"cash.dsc"}, {"sub/cp866"}, {"cp-866", "out"},
    };
    for (const auto& args : calls) {
        const temp_dir dir;
        write_file(dir / "cash.dsc", EXAMPLE_DSC);
        const outcome result = run_tool(dir.path(), args);
        EXPECT_EQ(result.output, usage_for("mapmaker"));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"cash.dsc"});
    }
}

TEST(EndToEnd, UsageShowsProgramNameAfterLastBackslash) {
    const temp_dir dir;
    EXPECT_EQ(run_in(dir.path(), {"tools\\mapmaker.exe"}).output, usage_for("mapmaker.exe"));
    EXPECT_EQ(run_in(dir.path(), {"bin/mapmaker"}).output, usage_for("bin/mapmaker"));
}

// Started with no argument vector at all, not even a program name: some kernels pass an
// empty name instead, others nothing.
TEST(EndToEnd, EmptyArgumentVectorShowsUsage) {
    const temp_dir dir;
    const outcome result = run_in(dir.path(), {});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.output == usage_for("") || result.output == usage_for("mapmaker"))
        << result.output;
}

// --- Conversions ----------------------------------------------------------------------

struct conversion_case {
    const char* name;
    std::string dsc_name;
    std::vector<std::string> args;
    std::string map_name;
};

TEST(EndToEnd, ConvertsAndNamesTheMapFile) {
    const std::vector<conversion_case> cases = {
        {"dsc extension added", "cp866.dsc", {"cp866"}, "cp866.map"},
        {"name as typed", "cp866.dsc", {"cp866.dsc"}, "cp866.map"},
        {"file without extension", "cp866", {"cp866"}, "cp866.map"},
        {"map argument with extension", "cp866.dsc", {"cp866", "out.bin"}, "out.map"},
        {"map argument without extension", "cp866.dsc", {"cp866", "out"}, "out.map"},
        {"map argument with trigger characters", "cp866.dsc", {"cp866", "out-h"}, "out-h.map"},
        {"third argument ignored", "cp866.dsc", {"cp866", "out", "extra"}, "out.map"},
        {"last dot in a directory part", "tables.old\\cp866", {"tables.old\\cp866"}, "tables.map"},
        {"upper-case H is no trigger", "H.dsc", {"H"}, "H.map"},
    };
    for (const conversion_case& c : cases) {
        SCOPED_TRACE(c.name);
        const temp_dir dir;
        write_file(dir / c.dsc_name, EXAMPLE_DSC);
        const outcome result = run_tool(dir.path(), c.args);
        EXPECT_EQ(result.output,
                  "Map file '" + c.map_name + "' successfully created [2 characters].\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_file(dir / c.map_name), EXAMPLE_MAP);
        EXPECT_EQ(read_file(dir / c.dsc_name), EXAMPLE_DSC);
    }
}

TEST(EndToEnd, ExistingNameWithoutExtensionWinsOverDsc) {
    const temp_dir dir;
    write_file(dir / "cp866", "01, 0001\n");
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
    const outcome result = run_tool(dir.path(), {"cp866"});
    EXPECT_EQ(result.output, "Map file 'cp866.map' successfully created [1 characters].\n");
    EXPECT_EQ(read_file(dir / "cp866.map"), std::string("\x00\x01\x01\x00\x01", 5));
}

TEST(EndToEnd, FullTableWithLineEndBytes) {
    const temp_dir dir;
    std::string dsc;
    std::string expected_map("\x01\x00", 2);
    for (int i = 0; i < 256; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%02x, %04X\n", 255 - i, 0x0A0D + i);
        dsc += line;
        expected_map += static_cast<char>(255 - i);
        expected_map += static_cast<char>((0x0A0D + i) >> 8);
        expected_map += static_cast<char>((0x0A0D + i) & 0xFF);
    }
    write_file(dir / "full.dsc", dsc);
    const outcome result = run_tool(dir.path(), {"full"});
    EXPECT_EQ(result.output, "Map file 'full.map' successfully created [256 characters].\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / "full.map"), expected_map);
}

// --- Failures -------------------------------------------------------------------------

struct failure_case {
    const char* name;
    std::string dsc_name;
    std::string dsc_bytes;
    std::vector<std::string> args;
    std::string output;
    int status;
    std::string map_name; // the map file left behind empty, if any
};

TEST(EndToEnd, EveryFailureHasItsMessageAndStatus) {
    std::string too_many;
    for (int i = 0; i < 257; ++i) {
        too_many += "41, 0041\n";
    }
    const std::vector<failure_case> cases = {
        {"no such file",
         "other.dsc",
         EXAMPLE_DSC,
         {"cp866"},
         "Can't open source file: cp866\n",
         3,
         ""},
        {"no retry when the name holds a dot",
         "cp866.txt.dsc",
         EXAMPLE_DSC,
         {"cp866.txt"},
         "Can't open source file: cp866.txt\n",
         3,
         ""},
        {"dots of a parent folder count",
         "..\\cp866.dsc",
         EXAMPLE_DSC,
         {"..\\cp866"},
         "Can't open source file: ..\\cp866\n",
         3,
         ""},
        {"map folder missing",
         "cp866.dsc",
         EXAMPLE_DSC,
         {"cp866", "missing/out"},
         "Can't create map file: missing/out.map\n",
         4,
         ""},
        {"invalid line",
         "cp866.dsc",
         "// c\n\n80, 0410\n80 , 0410\n",
         {"cp866"},
         "Invalid DSC file: cp866.dsc [line 4]\n",
         5,
         "cp866.map"},
        {"empty file",
         "cp866.dsc",
         "",
         {"cp866"},
         "Invalid DSC file: cp866.dsc [line 0]\n",
         5,
         "cp866.map"},
        {"comments only",
         "cp866.dsc",
         "// a\r\n\r\n// b",
         {"cp866"},
         "Invalid DSC file: cp866.dsc [line 3]\n",
         5,
         "cp866.map"},
        {"too many entries",
         "cp866.dsc",
         too_many,
         {"cp866.dsc"},
         "Too much entries.\nCodepage items quantity must not exceed 256.\n",
         8,
         "cp866.map"},
        {"DSC file named .map alone",
         "x.map",
         EXAMPLE_DSC,
         {"x.map"},
         "Can't create map file: x.map\n",
         4,
         ""},
        {"map argument naming the DSC file",
         "x.map",
         EXAMPLE_DSC,
         {"x.map", "x.txt"},
         "Can't create map file: x.map\n",
         4,
         ""},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.name);
        const temp_dir dir;
        write_file(dir / c.dsc_name, c.dsc_bytes);
        const outcome result = run_tool(dir.path(), c.args);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(read_file(dir / c.dsc_name), c.dsc_bytes);
        std::vector<std::string> expected_files = {c.dsc_name};
        if (!c.map_name.empty()) {
            expected_files.push_back(c.map_name);
            EXPECT_TRUE(fs::is_regular_file(dir / c.map_name));
            EXPECT_EQ(fs::file_size(dir / c.map_name), 0u);
        }
        std::sort(expected_files.begin(), expected_files.end());
        EXPECT_EQ(folder_listing(dir.path()), expected_files);
    }
}

TEST(EndToEnd, MapLinkedToTheDscFileIsRefused) {
    for (const bool symbolic : {true, false}) {
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        const temp_dir dir;
        write_file(dir / "cp866.dsc", EXAMPLE_DSC);
        if (symbolic) {
            fs::create_symlink("cp866.dsc", dir / "out.map");
        } else {
            fs::create_hard_link(dir / "cp866.dsc", dir / "out.map");
        }
        const outcome result = run_tool(dir.path(), {"cp866", "out"});
        EXPECT_EQ(result.output, "Can't create map file: out.map\n");
        EXPECT_EQ(result.status, 4);
        EXPECT_EQ(read_file(dir / "cp866.dsc"), EXAMPLE_DSC);
    }
}

TEST(EndToEnd, FullDiskIsAWriteFailureNotSuccess) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    const temp_dir dir;
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
    fs::create_symlink("/dev/full", dir / "full.map");
    const outcome result = run_tool(dir.path(), {"cp866", "full"});
    EXPECT_EQ(result.output, "Can't write to the file: full.map\n");
    EXPECT_EQ(result.status, 6);
}

// A longer map file from an earlier run keeps none of its old bytes.
TEST(EndToEnd, ExistingLongerMapIsTruncated) {
    for (const bool valid : {true, false}) {
        SCOPED_TRACE(valid ? "valid DSC file" : "invalid DSC file");
        const temp_dir dir;
        write_file(dir / "cp866.dsc", valid ? EXAMPLE_DSC : "80 , 0410\n");
        write_file(dir / "cp866.map", std::string(1000, 'X'));
        const outcome result = run_tool(dir.path(), {"cp866"});
        EXPECT_EQ(result.status, valid ? 0 : 5);
        EXPECT_EQ(read_file(dir / "cp866.map"), valid ? EXAMPLE_MAP : "");
    }
}

TEST(EndToEnd, DirectoryAsDscFileIsAReadError) {
    const temp_dir dir;
    fs::create_directory(dir / "tables");
    const outcome result = run_tool(dir.path(), {"tables"});
    EXPECT_EQ(result.output, "Error reading file: tables\n");
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(fs::file_size(dir / "tables.map"), 0u);
}

} // namespace
