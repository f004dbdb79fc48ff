// The unified diff that fmt, check --fix and diff print: the hunks GNU diff -u prints for the
// same texts, so that patch takes them.
#include "engine/unified_diff.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string diff_of(std::string_view before, std::string_view after) {
    std::string out;
    const bool differ =
        unified_diff("x", before, "y", after, [&out](std::string_view piece) { out += piece; });
    EXPECT_EQ(differ, !out.empty());
    return out;
}

TEST(UnifiedDiff, WritesTheHunksOfDiffU) {
    struct {
        const char* before;
        const char* after;
        const char* diff;
    } cases[] = {
        {"a\nb\n", "a\nb\n", ""},
        {"", "", ""},
        // Two changes further apart than twice the context: two hunks; the count of a
        // one-line side left out.
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n",
         "1\n2\n3\n4\nfive\n6\n7\n8\n9\n10\n11\n12\n13\n",
         "--- x\n+++ y\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"
         "@@ -10,3 +10,4 @@\n 10\n 11\n 12\n+13\n"},
        // Lines keep their CR LF.
        {"x\r\ny\r\n", "x\r\nz\r\n", "--- x\n+++ y\n@@ -1,2 +1,2 @@\n x\r\n-y\r\n+z\r\n"},
        // A last line without a line end, and a line put before the first.
        {"a\nb", "new\na\nb\n",
         "--- x\n+++ y\n@@ -1,2 +1,3 @@\n+new\n a\n-b\n\\ No newline at end of file\n+b\n"},
        // Lines added at the end of the whole first text.
        {"a\n", "a\nb\n", "--- x\n+++ y\n@@ -1 +1,2 @@\n a\n+b\n"},
        // Everything removed: the empty side names line 0.
        {"a\n", "", "--- x\n+++ y\n@@ -1 +0,0 @@\n-a\n"},
        // Of the shortest edit scripts, diff's: lines taken out before others are put in.
        {"a\nb\nb\n", "b\nb\na\nb\na\n", "--- x\n+++ y\n@@ -1,3 +1,5 @@\n-a\n b\n b\n+a\n+b\n+a\n"},
        // A line repeated after the common head: the common tail does not reach into it.
        {"a\n", "a\na\n", "--- x\n+++ y\n@@ -1 +1,2 @@\n a\n+a\n"},
        {"a\na\n", "a\n", "--- x\n+++ y\n@@ -1,2 +1 @@\n a\n-a\n"},
        // Changes three lines apart share one hunk.
        {"a\nb\nc\nd\ne\nf\ng\nh\n", "A\nb\nc\nd\ne\nf\ng\nH\n",
         "--- x\n+++ y\n@@ -1,8 +1,8 @@\n-a\n+A\n b\n c\n d\n e\n f\n g\n-h\n+H\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(diff_of(c.before, c.after), c.diff) << c.before << "->" << c.after;
    }
}

TEST(UnifiedDiff, ManyEditsBecomeOneReplacedBlock) {
    std::string before;
    std::string after;
    for (int i = 0; i < 3000; ++i) {
        before += std::to_string(i) + "\n";
        after += i % 2 == 0 ? "even\n" : "";
    }
    after += "last\n";
    const std::string diff = diff_of(before, after);
    EXPECT_EQ(diff.substr(0, diff.find('\n', 14) + 1), "--- x\n+++ y\n@@ -1,3000 +1,1501 @@\n");
    // 2048 edits are still the shortest script, which keeps the common lines k; 2049 are
    // one block.
    for (const auto& [pairs, extra, block] :
         {std::tuple{1023, "e\nf\n", false}, std::tuple{1024, "e\n", true}}) {
        std::string a = "c\n";
        std::string b = "c\n";
        for (int i = 0; i < pairs; ++i) {
            const std::string n = std::to_string(i) + "\n";
            a += 'a' + n + 'k' + n;
            b += 'b' + n + 'k' + n;
        }
        const std::string edits = diff_of(a, b + extra);
        EXPECT_EQ(edits.find("\n k0\n") == std::string::npos, block) << pairs;
    }
}

} // namespace
