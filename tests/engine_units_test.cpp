// Pieces of maptool's engine called directly, at the edges where a slip hides: UTF-8 at
// each length's first and last code, the bytes visible() spells out, and the names iconv
// is asked about.

#include "engine/import.h"
#include "engine/utf8.h"
#include "engine/visible.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, EachLengthFromItsFirstToItsLastCode) {
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {0x0000, std::string(1, '\0')}, {0x007F, "\x7F"},
        {0x0080, "\xC2\x80"},           {0x07FF, "\xDF\xBF"},
        {0x0800, "\xE0\xA0\x80"},       {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},  {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x1F600, "\xF0\x9F\x98\x80"}, // the two before give the same bytes whatever the shift
    };
    for (const auto& [code, bytes] : cases) {
        EXPECT_EQ(utf8_of(code), bytes) << std::hex << code;
        EXPECT_TRUE(valid_utf8(bytes)) << std::hex << code;
    }
}

struct visible_case {
    std::string bytes;
    std::string shown;
    bool valid; // valid_utf8
};

TEST(Visible, SpellsOutWhatIsNoCharacterOrActsOnTheTerminal) {
    const std::vector<visible_case> cases = {
        {" az~", " az~", true},
        {std::string("\0\x1F\x7F", 3), "<00><1F><7F>", true},
        // C1 controls, and the first character beyond them
        {"\xC2\x80\xC2\x9F\xC2\xA0", "<U+0080><U+009F>\xC2\xA0", true},
        // overlong forms at each length, and the first code each length may hold
        {"\xC0\x80\xC1\xBF", "<C0><80><C1><BF>", false},
        {"\xE0\x9F\xBF", "<E0><9F><BF>", false},
        {"\xE0\xA0\x80", "\xE0\xA0\x80", true},
        {"\xF0\x8F\xBF\xBF", "<F0><8F><BF><BF>", false},
        {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80", true},
        // surrogates, and the codes beside them
        {"\xED\x9F\xBF\xEE\x80\x80", "\xED\x9F\xBF\xEE\x80\x80", true},
        {"\xED\xA0\x80", "<ED><A0><80>", false},
        {"\xED\xBF\xBF", "<ED><BF><BF>", false},
        // the last code, and beyond it
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", true},
        {"\xF4\x90\x80\x80", "<F4><90><80><80>", false},
        {"\xF5\x80\x80\x80", "<F5><80><80><80>", false},
        // cut short, or a lead byte before ASCII
        {"\xE2\x80", "<E2><80>", false},
        {"\xD0"
         "A",
         "<D0>A", false},
        {"\x80", "<80>", false},
        // what reorders or hides text, and the characters beside those ranges
        {"\xE2\x80\xA7\xE2\x80\xA8\xE2\x80\xA9", "\xE2\x80\xA7<U+2028><U+2029>", true},
        {"\xE2\x80\xAA\xE2\x80\xAE\xE2\x80\xAF", "<U+202A><U+202E>\xE2\x80\xAF", true},
        {"\xE2\x81\xA5\xE2\x81\xA6\xE2\x81\xA9\xE2\x81\xAA",
         "\xE2\x81\xA5<U+2066><U+2069>\xE2\x81\xAA", true},
        {"\xEF\xBB\xBF", "<U+FEFF>", true},
    };
    for (const visible_case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(visible(c.bytes), c.shown);
        EXPECT_EQ(valid_utf8(c.bytes), c.valid);
    }
    // The column each byte's rendering starts at: a character is one, a spelled byte four.
    std::vector<std::size_t> columns;
    EXPECT_EQ(visible("a\xD0\x90\x01\xC2\x85", columns), "a\xD0\x90<01><U+0085>");
    EXPECT_EQ(columns, (std::vector<std::size_t>{0, 1, 1, 2, 6, 6, 14}));
}

// No name is no charset: to iconv_open the empty name is the locale's own.
TEST(IconvKnows, ACharsetByItsNameAndNoneByNoName) {
#if !defined(MAPTOOL_ICONV)
    GTEST_SKIP() << "built without iconv";
#else
    const std::vector<std::pair<std::string, bool>> cases = {{"CP1251", true}, {"", false}};
    for (const auto& [name, known] : cases) {
        EXPECT_EQ(iconv_knows(name), known) << name;
    }
#endif
}

} // namespace
