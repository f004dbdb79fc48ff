#include "platform/atomic_file.h"
#include "platform/file_identity.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using open_file = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

open_file open_for_reading(const std::filesystem::path& path) {
    open_file file(std::fopen(path.string().c_str(), "rb"), std::fclose);
    if (!file) {
        throw std::runtime_error("cannot open " + path.string());
    }
    return file;
}

struct identity_case {
    const char* first;
    const char* second;
    bool same;
};

TEST(SameFile, TellsFilesApartByIdentityNotName) {
    const temp_dir dir;
    write_file(dir / "a.dsc", "80, 0410\n");
    write_file(dir / "b.dsc", "80, 0410\n");
    std::filesystem::create_hard_link(dir / "a.dsc", dir / "link.map");
    const std::vector<identity_case> cases = {
        {"a.dsc", "a.dsc", true},  {"a.dsc", "./a.dsc", true},   {"a.dsc", "link.map", true},
        {"a.dsc", "b.dsc", false}, {"link.map", "b.dsc", false},
    };
    for (const identity_case& c : cases) {
        const open_file first = open_for_reading(dir / c.first);
        const open_file second = open_for_reading(dir / c.second);
        EXPECT_EQ(same_file(fileno(first.get()), fileno(second.get())), c.same)
            << c.first << " and " << c.second;
    }
}

TEST(SameFile, NameInOtherLetterCaseWhereCaseIsIgnored) {
    const temp_dir dir;
    write_file(dir / "cp866.dsc", "80, 0410\n");
    if (!std::filesystem::exists(dir / "CP866.DSC")) {
        GTEST_SKIP() << "file names differ by letter case in " << dir.path().string();
    }
    const open_file lower = open_for_reading(dir / "cp866.dsc");
    const open_file upper = open_for_reading(dir / "CP866.DSC");
    EXPECT_TRUE(same_file(fileno(lower.get()), fileno(upper.get())));
}

// A caller about to write over one of them must not take a doubt for "different".
TEST(SameFile, UnknownIdentityCountsAsSame) {
    const temp_dir dir;
    write_file(dir / "a.dsc", "80, 0410\n");
    const open_file file = open_for_reading(dir / "a.dsc");
    EXPECT_TRUE(same_file(fileno(file.get()), -1));
    EXPECT_TRUE(same_file(-1, fileno(file.get())));
}

// Once memory ran out anywhere in the run, what was written may lack something: the
// commit is refused and the old file stays, with no temporary file beside it. In a child
// process, as the mark lasts for the rest of the run.
TEST(AtomicFile, NoCommitOnceMemoryRanOut) {
    const temp_dir dir;
    write_file(dir / "out", "old");
    EXPECT_EXIT(
        {
            int error = -1;
            {
                atomic_file file(utf8_from(dir / "out"));
                if (file.open() == 0) {
                    std::fputs("new", file.stream());
                    note_out_of_memory();
                    error = file.commit();
                }
            }
            std::exit(error == ENOMEM ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_file(dir / "out"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// Only a folder that refuses new files has the file written in place; any other failure to
// make the temporary fails the open with its reason and leaves the old file whole, as
// writing in place could leave it half written. Here the temporary's path is too long.
TEST(AtomicFile, TemporaryThatCannotBeMadeFailsTheOpen) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows limits the length of a path otherwise";
#else
    const temp_dir dir;
    std::filesystem::path folder = dir.path();
    while (folder.native().size() + 101 < PATH_MAX - 60) {
        folder /= std::string(100, 'd');
    }
    std::filesystem::create_directories(folder);
    // The target's path fits with 5 bytes to spare; its temporary's needs 14 more.
    const auto target = folder / std::string(PATH_MAX - 7 - folder.native().size(), 'n');
    write_file(target, "old");
    atomic_file file(utf8_from(target));
    EXPECT_EQ(file.open(), ENAMETOOLONG);
    EXPECT_EQ(read_file(target), "old");
#endif
}

} // namespace
