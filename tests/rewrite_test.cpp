// The in-place rewriting that fmt and check --fix share: what becomes of a file whose new
// text differs or not, in each mode, and which names count as one file.
#include "engine/files.h"
#include "engine/rewrite.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct kept_messages : renderer {
    std::vector<std::string> messages;
    void render(const finding& found) override { messages.push_back(found.message); }
    void finish(const report_counts&) override {}
};

// A transformation that replaces the old text by `after`, handed on in pieces of `step`
// bytes, so that the comparison meets pieces across the blocks of the old text.
transformation replace_by(std::string after, std::size_t step, bool accept = true) {
    return [after, step, accept](std::FILE* in, std::string_view, const text_sink& out) {
        (void)read_back(in);
        for (std::size_t at = 0; at < after.size(); at += step) {
            out(std::string_view(after).substr(at, step));
        }
        return accept;
    };
}

struct rewrite_case {
    const char* what;
    std::string before;
    std::string after;
    rewrite_mode mode;
    bool accept;
    rewrite_outcome outcome;
    bool written;      // the file holds `after` afterwards (else `before`)
    std::string shown; // what reached out
};

TEST(Rewrite, WritesOnlyAFileThatChangesAndOnlyInWriteMode) {
    const std::string big(200000, 'x'); // beyond a block of the comparison
    const std::string big_changed = big.substr(0, 150000) + "y" + big.substr(150001);
    const std::vector<rewrite_case> cases = {
        {"same text", "a\nb\n", "a\nb\n", rewrite_mode::write, true, rewrite_outcome::unchanged,
         false, ""},
        {"a line changed", "a\nb\nc\n", "a\nB\nc\n", rewrite_mode::write, true,
         rewrite_outcome::changed, true, ""},
        {"one byte before the change", "ab\n", "aB\n", rewrite_mode::write, true,
         rewrite_outcome::changed, true, ""},
        {"the new text is the old one's start", "a\nb\n", "a\n", rewrite_mode::write, true,
         rewrite_outcome::changed, true, ""},
        {"the old text is the new one's start", "a\n", "a\nb\n", rewrite_mode::write, true,
         rewrite_outcome::changed, true, ""},
        {"an empty file filled", "", "a\n", rewrite_mode::write, true, rewrite_outcome::changed,
         true, ""},
        {"a large file changed far in", big, big_changed, rewrite_mode::write, true,
         rewrite_outcome::changed, true, ""},
        {"a large file the same", big, big, rewrite_mode::write, true, rewrite_outcome::unchanged,
         false, ""},
        {"a file of one byte the same", "a", "a", rewrite_mode::write, true,
         rewrite_outcome::unchanged, false, ""},
        {"refused after a change", "a\n", "b\n", rewrite_mode::write, false,
         rewrite_outcome::refused, false, ""},
        {"check mode", "a\n", "b\n", rewrite_mode::check, true, rewrite_outcome::changed, false,
         ""},
        {"check mode, the same", "a\n", "a\n", rewrite_mode::check, true,
         rewrite_outcome::unchanged, false, ""},
        {"diff mode", "a\n", "b\n", rewrite_mode::diff, true, rewrite_outcome::changed, false,
         "--- t.dsc\n+++ t.dsc\n@@ -1 +1 @@\n-a\n+b\n"},
        {"diff mode, the same", "a\n", "a\n", rewrite_mode::diff, true, rewrite_outcome::unchanged,
         false, ""},
        {"diff mode, the old text is the new one's start", "a\n", "a\nb\n", rewrite_mode::diff,
         true, rewrite_outcome::changed, false, "--- t.dsc\n+++ t.dsc\n@@ -1 +1,2 @@\n a\n+b\n"},
        {"diff mode, a file of one byte", "a", "b", rewrite_mode::diff, true,
         rewrite_outcome::changed, false,
         "--- t.dsc\n+++ t.dsc\n@@ -1 +1 @@\n-a\n\\ No newline at end of file\n+b\n"
         "\\ No newline at end of file\n"},
    };
    for (const rewrite_case& c : cases) {
        for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{100000}}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(step));
            const temp_dir dir;
            const fs::path file = dir / "t.dsc";
            write_file(file, c.before);
            const auto long_ago = fs::last_write_time(file) - std::chrono::hours(48);
            fs::last_write_time(file, long_ago);
            kept_messages found;
            diagnostics report(warning_policy{}, found);
            std::string shown;
            const rewrite_outcome outcome =
                rewrite_file(utf8_from(file), c.mode, replace_by(c.after, step, c.accept), report,
                             [&shown](std::string_view piece) { shown += piece; });
            EXPECT_EQ(outcome, c.outcome);
            EXPECT_EQ(read_file(file), c.written ? c.after : c.before);
            if (!c.written) {
                EXPECT_EQ(fs::last_write_time(file), long_ago);
            }
            // The diff names the file by the path given.
            const std::string label = utf8_from(file);
            for (std::size_t at; (at = shown.find(label)) != std::string::npos;) {
                shown.replace(at, label.size(), "t.dsc");
            }
            EXPECT_EQ(shown, c.shown);
            EXPECT_TRUE(found.messages.empty()) << found.messages.front();
            // No temporary file is left beside the file.
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                      1);
        }
    }
}

TEST(Rewrite, ReportsWhatCannotBeRewritten) {
    const temp_dir dir;
    fs::create_directory(dir / "folder");
    kept_messages found;
    diagnostics report(warning_policy{}, found);
    const auto nothing = [](std::string_view) {};
    EXPECT_EQ(rewrite_file(utf8_from(dir / "none.dsc"), rewrite_mode::write, replace_by("a\n", 1),
                           report, nothing),
              rewrite_outcome::failed);
    EXPECT_EQ(rewrite_file(utf8_from(dir / "folder"), rewrite_mode::write, replace_by("a\n", 1),
                           report, nothing),
              rewrite_outcome::failed);
    std::size_t expected = 2;
    // A file that opens as a regular file and fails when read: its old text cannot be
    // compared, which is said, not taken for "unchanged".
    const fs::path unreadable = "/proc/self/mem";
    if (fs::is_regular_file(unreadable)) {
        EXPECT_EQ(rewrite_file(unreadable.string(), rewrite_mode::check, replace_by("a\n", 1),
                               report, nothing),
                  rewrite_outcome::failed);
        ++expected;
    }
    ASSERT_EQ(found.messages.size(), expected);
    EXPECT_TRUE(found.messages[0].starts_with("cannot open the file")) << found.messages[0];
    if (expected == 3) {
        EXPECT_EQ(found.messages[2], "cannot read the file");
    }
    // A file cut short while its new text comes: the unchanged start cannot be copied from
    // it, so the file is not replaced by a text that lacks it.
    const fs::path shrinking = dir / "shrinking.dsc";
    write_file(shrinking, "aaaa\nbbbb\n");
    std::error_code cut;
    const transformation cut_short = [&](std::FILE*, std::string_view, const text_sink& out) {
        out("aaaa\n");
        fs::resize_file(shrinking, 2, cut);
        out("BBBB\n");
        return true;
    };
    const rewrite_outcome outcome =
        rewrite_file(utf8_from(shrinking), rewrite_mode::write, cut_short, report, nothing);
    if (cut) {
        GTEST_SKIP() << "a file open for reading cannot be shortened here: " << cut.message();
    }
    EXPECT_EQ(outcome, rewrite_outcome::failed);
    EXPECT_EQ(read_file(shrinking), "aa");
    ASSERT_EQ(found.messages.size(), expected + 1);
    EXPECT_EQ(found.messages.back(), "cannot write the file: " + system_reason(EIO));
}

TEST(Rewrite, DistinctFilesLeaveOutEveryLaterNameOfAFile) {
    const temp_dir dir;
    write_file(dir / "a.dsc", "same size\n");
    write_file(dir / "b.dsc", "same size\n");
    const std::string a = utf8_from(dir / "a.dsc");
    const std::string b = utf8_from(dir / "b.dsc");
    const std::string none = utf8_from(dir / "none.dsc");
    std::vector<std::string> expected = {a, "-", b, none};
    std::vector<std::string> given = {a, "-", a, b, "-", none, none};
    std::error_code no_links;
    fs::create_hard_link(dir / "a.dsc", dir / "hard.dsc", no_links);
    if (!no_links) {
        given.push_back(utf8_from(dir / "hard.dsc"));
    }
    fs::create_symlink(dir / "b.dsc", dir / "soft.dsc", no_links);
    if (!no_links) {
        given.push_back(utf8_from(dir / "soft.dsc"));
    }
    given.push_back(utf8_from(dir / "." / "a.dsc"));
    EXPECT_EQ(distinct_files(given), expected);
}

} // namespace
