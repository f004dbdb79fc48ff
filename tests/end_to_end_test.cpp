// Runs the built mapmaker in a fresh folder and checks what it prints, its exit status,
// the map file it writes and that the DSC file is left as it was.

#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <vector>

namespace fs = std::filesystem;

namespace {

struct outcome {
    std::string output;
    int status = -1;
};

// Runs the tool in dir with the given argument vector, argv[0] included.
outcome run_in(const fs::path& dir, const std::vector<std::string>& args) {
    const program_result ran = run_program(MAPMAKER_PATH, dir, args);
    EXPECT_EQ(ran.err, "") << "all output goes to standard output";
    return {from_text_mode(ran.out), ran.status};
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

// Every file under dir, named relative to it: a backslash in a name makes a folder on
// Windows, and the name is then listed the same as elsewhere.
std::vector<std::string> folder_listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_directory()) {
            names.push_back(entry.path().lexically_relative(dir).string());
        }
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
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tools\\mapmaker.exe", "mapmaker.exe"},
        {"C:\\tools\\mapmaker.exe", "mapmaker.exe"},
        {"C:\\Program Files\\Map Maker\\mapmaker.exe", "mapmaker.exe"},
        {"bin/mapmaker", "bin/mapmaker"},
    };
    const temp_dir dir;
    for (const auto& [invoked_as, shown] : cases) {
        EXPECT_EQ(run_in(dir.path(), {invoked_as}).output, usage_for(shown)) << invoked_as;
    }
}

// Started with no argument vector at all, not even a program name: some kernels pass an
// empty name instead, others nothing.
TEST(EndToEnd, EmptyArgumentVectorShowsUsage) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows program is started with a command line, and its C runtime "
                    "always makes a program name of it";
#endif
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
        // Names beyond the ANSI code page: no '?' in their place, so no usage text.
        {"Cyrillic name", "таблица.dsc", {"таблица"}, "таблица.map"},
        {"Japanese names", "日本.dsc", {"日本.dsc", "出力"}, "出力.map"},
    };
    for (const conversion_case& c : cases) {
        SCOPED_TRACE(c.name);
        const temp_dir dir;
        write_file(dir.path() / utf8_path(c.dsc_name), EXAMPLE_DSC);
        const outcome result = run_tool(dir.path(), c.args);
        EXPECT_EQ(result.output,
                  "Map file '" + c.map_name + "' successfully created [2 characters].\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_file(dir.path() / utf8_path(c.map_name)), EXAMPLE_MAP);
        EXPECT_EQ(read_file(dir.path() / utf8_path(c.dsc_name)), EXAMPLE_DSC);
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
#ifndef _WIN32 // where ..\ would lead out of the scratch folder
        {"dots of a parent folder count",
         "..\\cp866.dsc",
         EXAMPLE_DSC,
         {"..\\cp866"},
         "Can't open source file: ..\\cp866\n",
         3,
         ""},
#endif
        {"dot of a folder counts",
         "sub.d\\cp866.dsc",
         EXAMPLE_DSC,
         {"sub.d\\cp866"},
         "Can't open source file: sub.d\\cp866\n",
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

// The map file that args name is the DSC file, reached by another name.
void expect_map_refused(const temp_dir& dir, const std::string& dsc_name,
                        const std::vector<std::string>& args, const std::string& map_name) {
    const outcome result = run_tool(dir.path(), args);
    EXPECT_EQ(result.output, "Can't create map file: " + map_name + "\n");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(read_file(dir / dsc_name), EXAMPLE_DSC);
}

TEST(EndToEnd, MapHardLinkedToTheDscFileIsRefused) {
    const temp_dir dir;
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
    fs::create_hard_link(dir / "cp866.dsc", dir / "out.map");
    expect_map_refused(dir, "cp866.dsc", {"cp866", "out"}, "out.map");
}

TEST(EndToEnd, MapSymbolicLinkToTheDscFileIsRefused) {
    const temp_dir dir;
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
#ifdef _WIN32
    // GCC's std::filesystem makes no symbolic links on Windows; the system call does, for
    // a user with the privilege or in developer mode.
    const DWORD unprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!::CreateSymbolicLinkA((dir / "out.map").string().c_str(), "cp866.dsc", unprivileged)) {
        GTEST_SKIP() << "this Windows does not let the user make a symbolic link (error "
                     << ::GetLastError() << ")";
    }
    // Wine's CreateSymbolicLink is a stub that reports success and makes nothing.
    if (read_file(dir / "out.map") != EXAMPLE_DSC) {
        GTEST_SKIP() << "CreateSymbolicLink reported success, but out.map does not lead to "
                        "cp866.dsc";
    }
#else
    fs::create_symlink("cp866.dsc", dir / "out.map");
#endif
    expect_map_refused(dir, "cp866.dsc", {"cp866", "out"}, "out.map");
}

// Windows finds a file whatever the letter case of its name.
TEST(EndToEnd, MapNameDifferingInCaseOnlyIsRefusedWhereCaseIsIgnored) {
    const temp_dir dir;
    write_file(dir / "cp866.map", EXAMPLE_DSC);
    if (!fs::exists(dir / "CP866.MAP")) {
        GTEST_SKIP() << "file names differ by letter case in " << dir.path().string();
    }
    expect_map_refused(dir, "cp866.map", {"cp866.map", "CP866"}, "CP866.map");
}

TEST(EndToEnd, FullDiskIsAWriteFailureNotSuccess) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that always reports a full disk";
#endif
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
#ifdef _WIN32
    // Windows does not open a folder as a file: the name fails like a missing one, before
    // any map file is made.
    EXPECT_EQ(result.output, "Can't open source file: tables\n");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{});
#else
    EXPECT_EQ(result.output, "Error reading file: tables\n");
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(fs::file_size(dir / "tables.map"), 0u);
#endif
}

// --- Windows paths ----------------------------------------------------------------------

// A drive letter before the name, without a backslash, means the current folder of that
// drive; the map file is named from the argument, drive letter included.
TEST(EndToEnd, DriveRelativeName) {
#ifndef _WIN32
    GTEST_SKIP() << "drive letters exist on Windows only";
#endif
    const temp_dir dir;
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
    const std::string drive = dir.path().root_name().string();
    const outcome result = run_tool(dir.path(), {drive + "cp866"});
    EXPECT_EQ(result.output,
              "Map file '" + drive + "cp866.map' successfully created [2 characters].\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / "cp866.map"), EXAMPLE_MAP);
}

TEST(EndToEnd, FullPathWithDriveLetter) {
#ifndef _WIN32
    GTEST_SKIP() << "drive letters exist on Windows only";
#endif
    const temp_dir dir;
    write_file(dir / "cp866.dsc", EXAMPLE_DSC);
    const std::string folder = dir.path().string();
    if (folder.find_first_of("?h/-") != std::string::npos) {
        GTEST_SKIP() << "the scratch folder's path holds a help trigger character: " << folder;
    }
    fs::create_directory(dir / "elsewhere");
    const outcome result =
        run_tool(dir / "elsewhere", {folder + "\\cp866.dsc", folder + "\\out.bin"});
    EXPECT_EQ(result.output,
              "Map file '" + folder + "\\out.map' successfully created [2 characters].\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / "out.map"), EXAMPLE_MAP);
}

} // namespace
