// maptool chart: the HTML and the text grid made from hand-built charts (hostile names,
// glyphs, compared cells, the text's width), and the verb as a user runs it: sources
// refused, warnings on their cells, formats, and the same page on every system.

#include "engine/chart.h"
#include "engine/chart_detail.h"
#include "run_program.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

chart_entry entry(std::uint16_t code, std::string name = "", char_class kind = char_class::letter,
                  int width = 1) {
    return {code, std::move(name), kind, width};
}

chart_table one_cell(std::uint8_t byte, const chart_entry& cell) {
    chart_table table;
    table.title = "t";
    table.entries = 1;
    table.cells[byte] = cell;
    return table;
}

struct hostile_case {
    std::string name;
    std::string shown;     // as the page must hold it
    std::string forbidden; // what must not be in the page at all
};

TEST(ChartHtml, NamesFromTheInputComeOutAsTextAndVisible) {
    const std::vector<hostile_case> cases = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;", "<script"},
        {"a\"b' onmouseover=x", "a&quot;b&#39; onmouseover=x", "a\"b"},
        {"red \x1b[31m", "red &lt;1B&gt;[31m", "\x1b"},
        {"right \xE2\x80\xAE left", "right &lt;U+202E&gt; left", "\xE2\x80\xAE"},
        {"isolate \xE2\x81\xA7", "isolate &lt;U+2067&gt;", "\xE2\x81\xA7"},
        {"next line \xC2\x85", "next line &lt;U+0085&gt;", "\xC2\x85"},
        {"bad \xFF", "bad &lt;FF&gt;", "\xFF"},
        {"AT&T &lt;", "AT&amp;T &amp;lt;", "AT&T"},
    };
    for (const hostile_case& c : cases) {
        chart_table table = one_cell(0x41, entry(0x41, c.name));
        table.title = c.name;
        table.warnings[0x41].push_back(c.name);
        const std::string page = chart_html({table}, {});
        EXPECT_NE(page.find("title=\"" + c.shown + "&#10;warning: " + c.shown + "\""),
                  std::string::npos)
            << c.name;
        EXPECT_NE(page.find("<h2>" + c.shown + "</h2>"), std::string::npos) << c.name;
        EXPECT_EQ(page.find(c.forbidden), std::string::npos) << c.name;
        EXPECT_NE(chart_text(table, {}, false).find("41 ! " + safe_text(c.name)),
                  std::string::npos);
        // A terminal takes markup for text; only control and format characters are harmful.
        if (static_cast<unsigned char>(c.forbidden[0]) < 0x20 ||
            static_cast<unsigned char>(c.forbidden[0]) >= 0x80) {
            EXPECT_EQ(chart_text(table, {}, false).find(c.forbidden), std::string::npos) << c.name;
        }
    }
}

// Each range of characters that safe_text spells out, from its first code to its last,
// and the codes just outside it, which it leaves alone.
TEST(ChartSafeText, EachSpelledRangeToItsEdges) {
    const std::vector<std::uint32_t> spelled = {0x0080, 0x009F, 0x061C,  0x200B,  0x200F, 0x2028,
                                                0x202E, 0x2060, 0x206F,  0xFDD0,  0xFDEF, 0xFEFF,
                                                0xFFFE, 0xFFFF, 0x1FFFE, 0x10FFFF};
    const std::vector<std::uint32_t> kept = {0x007E, 0x00A0, 0x061B, 0x061D, 0x200A, 0x2010,
                                             0x2027, 0x202F, 0x205F, 0x2070, 0xFDCF, 0xFDF0,
                                             0xFEFE, 0xFF00, 0xFFFD, 0x1FFFD};
    for (const std::uint32_t code : spelled) {
        char name[16];
        std::snprintf(name, sizeof name, "<U+%04X>", static_cast<unsigned>(code));
        EXPECT_EQ(safe_text(utf8_of(code)), name);
    }
    for (const std::uint32_t code : kept) {
        EXPECT_EQ(safe_text(utf8_of(code)), utf8_of(code)) << std::hex << code;
    }
}

TEST(ChartGlyph, WhatCannotBeSeenIsDrawnVisibly) {
    const std::vector<std::pair<chart_entry, std::string>> cases = {
        {entry(0x0000, "", char_class::control), "\xE2\x90\x80"},      // SYMBOL FOR NULL
        {entry(0x001B, "", char_class::control), "\xE2\x90\x9B"},      // SYMBOL FOR ESCAPE
        {entry(0x0020, "", char_class::space), "\xE2\x90\xA0"},        // SYMBOL FOR SPACE
        {entry(0x007F, "", char_class::control), "\xE2\x90\xA1"},      // SYMBOL FOR DELETE
        {entry(0x00A0, "", char_class::space), "\xE2\x8D\xBD"},        // SHOULDERED OPEN BOX
        {entry(0x2003, "", char_class::space), "\xE2\x90\xA3"},        // OPEN BOX
        {entry(0x0080, "", char_class::other), "\xE2\x8E\x95"},        // QUAD, even unclassified
        {entry(0x009F, "", char_class::other), "\xE2\x8E\x95"},        // to the C1 range's end
        {entry(0x2028, "", char_class::other), "\xE2\x8E\x95"},        // a line separator
        {entry(0x202E, "", char_class::control), "\xE2\x8E\x95"},      // no override, a quad
        {entry(0x0301, "", char_class::mark), "\xE2\x97\x8C\xCC\x81"}, // on a dotted circle
        {entry(0xD800), "\xEF\xBF\xBD"},                               // a surrogate: U+FFFD
        {entry(0xDFFF), "\xEF\xBF\xBD"},                               // to their end
        {entry(0xFFFE), "\xEF\xBF\xBD"},                               // a noncharacter too
        {entry(0x0410), "\xD0\x90"},
    };
    for (const auto& [cell, glyph] : cases) {
        EXPECT_EQ(cell_glyph(cell), glyph) << cell.code;
    }
    // Names given with the entries name them; a list shorter than the table, no more.
    code_table two;
    two.records[two.count++] = make_record(0x80, 0xE000);
    two.records[two.count++] = make_record(0x81, 0xE001);
    const chart_side cells = chart_cells(two, {false, {"given"}});
    EXPECT_EQ(cells[0x80]->name, "given");
    EXPECT_EQ(cells[0x81]->name, "");
}

TEST(ChartCompare, EveryDifferingCellIsMarkedWithBothCharacters) {
    chart_table table;
    table.title = "a";
    table.cells[0x80] = entry(0x0410); // differs: another code
    table.cells[0x81] = entry(0x0411); // the same in both
    table.cells[0x82] = entry(0x0412); // differs: left out of the other
    table.against_title = "b";
    table.against[0x80] = entry(0x0401);
    table.against[0x81] = entry(0x0411);
    table.against[0x83] = entry(0x0413); // differs: left out of this one
    const std::string page = chart_html({table}, {});
    EXPECT_NE(page.find("diff\" title=\"a: U+0410&#10;b: U+0401\"><span class=\"badge\" "
                        "aria-hidden=\"true\">\xE2\x89\xA0</span><span class=\"g\">\xD0\x90</span>"
                        "<span class=\"g2\">\xD0\x81</span>"),
              std::string::npos);
    EXPECT_NE(page.find("title=\"a: U+0412&#10;b: not mapped\""), std::string::npos);
    EXPECT_NE(page.find("<td class=\"none diff\" title=\"a: not mapped&#10;b: U+0413\""),
              std::string::npos);
    EXPECT_NE(page.find("<td class=\"k-letter\" title=\"U+0411\">"), std::string::npos);
    EXPECT_NE(page.find("3 bytes differ"), std::string::npos);
    const std::string text = chart_text(table, {}, false);
    EXPECT_NE(text.find("8_ \xD0\x90 * \xD0\x91   \xD0\x92 * --*"), std::string::npos) << text;
    EXPECT_NE(text.find("83 * not mapped / U+0413\n"), std::string::npos) << text;
}

// A row that only the compared table uses is drawn too, and a cell that differs shows
// the difference's mark over its warning's.
TEST(ChartCompare, RowsOfEitherTableAndTheDifferenceMarkFirst) {
    chart_table table;
    table.title = "a";
    table.cells[0x80] = entry(0x0410); // differs and is warned about
    table.cells[0x81] = entry(0x0411); // warned about only
    table.warnings[0x80].push_back("w");
    table.warnings[0x81].push_back("w");
    table.against_title = "b";
    table.against[0x80] = entry(0x0401);
    table.against[0x81] = entry(0x0411);
    table.against[0x93] = entry(0x0413);                        // the only cell of its row
    table.cells[0x00] = entry(0x0000, "", char_class::control); // byte 00, warned about
    table.against[0x00] = table.cells[0x00];
    table.warnings[0x00].push_back("w");
    EXPECT_EQ(rows_shown(table, {}), (std::vector<unsigned>{0, 8, 9}));
    const std::string text = chart_text(table, {}, false);
    EXPECT_NE(text.find("\n8_ \xD0\x90 * \xD0\x91 ! -- "), std::string::npos) << text;
    EXPECT_NE(text.find("\n9_ --  --  --  --* -- "), std::string::npos) << text;
    EXPECT_NE(chart_html({table}, {}).find("<th scope=\"row\">9_</th>"), std::string::npos);
    // Below the grid, a line for each difference, then each warning, led by the byte.
    EXPECT_NE(
        text.find("\n\n00 ! w\n80 * U+0410 / U+0401\n80 ! w\n81 ! w\n93 * not mapped / U+0413\n"),
        std::string::npos)
        << text;
}

// Display columns as a terminal counts them, for the characters this test draws.
std::size_t columns_of(std::string_view line) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        const bool wide = line.substr(i, 2) == "\xE3\x81" || line.substr(i, 2) == "\xEF\xBC";
        const bool combining = line.substr(i, 2) == "\xCC\x81";
        columns += wide ? 2 : combining ? 0 : 1;
    }
    return columns;
}

TEST(ChartText, TheGridKeepsItsColumnsWhateverTheCharacters) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character data: no wide characters";
    }
    chart_table table;
    table.title = "t";
    const code_table codes = [] {
        code_table t;
        for (const auto& [byte, code] : std::vector<std::pair<int, int>>{{0x00, 0x0000},
                                                                         {0x01, 0x3042},
                                                                         {0x02, 0x0301},
                                                                         {0x03, 0x0041},
                                                                         {0x05, 0x0085},
                                                                         {0x06, 0xD800},
                                                                         {0x07, 0x00A0},
                                                                         {0x1F, 0x3000},
                                                                         {0xFF, 0xFF01}}) {
            t.records[t.count++] =
                make_record(static_cast<std::uint8_t>(byte), static_cast<std::uint16_t>(code));
        }
        return t;
    }();
    table.cells = chart_cells(codes, {});
    table.warnings[0x01].push_back("w");
    for (const bool all : {false, true}) {
        const std::string text = chart_text(table, {all}, false);
        std::size_t grid_lines = 0;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string_view line(text.data() + start, end - start);
            if (line.size() > 2 && (line[1] == '_' || line.starts_with("   _0"))) {
                ++grid_lines;
                EXPECT_EQ(columns_of(line), 66u) << line;
            }
        }
        EXPECT_EQ(grid_lines, all ? 17u : 4u) << text;
    }
}

// --- The verb ---------------------------------------------------------------------------

program_result maptool(const temp_dir& dir, std::vector<std::string> words) {
    words.insert(words.begin(), "maptool");
    program_result result = run_program(MAPTOOL_PATH, dir.path(), words, "", input_kind::file);
    result.err = from_text_mode(result.err);
    return result;
}

TEST(ChartVerb, RefusesWhatOtherVerbsRefuseAndWritesNothing) {
    temp_dir dir;
    write_file(dir / "good.dsc", "80, 0410\n");
    write_file(dir / "bad.dsc", "80, 0410\n81 0411 x\nzz, 0412\n");
    write_file(dir / "short.map", std::string("\x00\x02\x80\x04\x10", 5));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.dsc", "missing.dsc: error: "},
        {"bad.dsc", "bad.dsc:3:1: error: "},
        {"short.map", "short.map:"},
    };
    for (const auto& [source, message] : cases) {
        for (const std::vector<std::string>& words :
             {std::vector<std::string>{"chart", source, "-o", "out.html"},
              {"chart", "good.dsc", "--against", source, "-o", "out.html"}}) {
            const program_result result = maptool(dir, words);
            EXPECT_EQ(result.status, 2) << source;
            EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
            EXPECT_FALSE(fs::exists(dir / "out.html")) << source;
        }
    }
    // Nor is the compared table's own file the chart.
    write_file(dir / "other.dsc", "80, 0411\n");
    const program_result own =
        maptool(dir, {"chart", "good.dsc", "--against", "other.dsc", "-o", "other.dsc"});
    EXPECT_EQ(own.status, 2);
    EXPECT_NE(own.err.find("the chart other.dsc is this table's own file"), std::string::npos)
        << own.err;
    EXPECT_EQ(read_file(dir / "other.dsc"), "80, 0411\n");
}

TEST(ChartVerb, MarksTheWarningsOfCheckOnTheirCells) {
    temp_dir dir;
    write_file(dir / "t.dsc", "41, 0041\n41, 0042\n42, 0041\n43, D800\n44, FDD0\n");
    const program_result result = maptool(dir, {"chart", "t.dsc", "-o", "t.html"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string page = read_file(dir / "t.html");
    for (const std::string& cell : {
             "warn\" title=\"" +
                 std::string(names_available() ? "LATIN CAPITAL LETTER A" : "U+0041") +
                 "&#10;warning: source code 41 is listed again\"",
             std::string("warning: UNICODE code 0041 is listed again, for byte 42\""),
             std::string("warning: UNICODE code D800 is a surrogate, not a character\""),
             std::string("warning: UNICODE code FDD0 is a noncharacter\""),
         }) {
        EXPECT_NE(page.find(cell), std::string::npos) << cell;
    }
}

TEST(ChartVerb, HtmlToFilesAndPipesTextWhenAskedAndATableOfContentsForMany) {
    temp_dir dir;
    write_file(dir / "a.dsc", "80, 0410\n");
    write_file(dir / "b.dsc", "80, 0411\n");
    write_file(dir / "c.dsc", "80, 0412\n80, 0413\n"); // a byte listed again: one warning
    const program_result piped = maptool(dir, {"chart", "a.dsc"});
    EXPECT_TRUE(from_text_mode(piped.out).starts_with("<!DOCTYPE html>\n")) << piped.out;
    const program_result text = maptool(dir, {"chart", "--format=text", "a.dsc"});
    EXPECT_TRUE(from_text_mode(text.out).starts_with("a.dsc: 1 entry\n")) << text.out;
    const program_result two = maptool(dir, {"chart", "a.dsc", "b.dsc", "-o", "two.html"});
    const std::string compared = read_file(dir / "two.html");
    EXPECT_NE(compared.find("compared with <strong>b.dsc</strong>: 1 byte differs"),
              std::string::npos);
    EXPECT_EQ(compared.find("<nav"), std::string::npos);
    const program_result many = maptool(dir, {"chart", "a.dsc", "b.dsc", "c.dsc", "-o", "m.html"});
    const std::string page = read_file(dir / "m.html");
    EXPECT_NE(page.find("<li><a href=\"#chart-3\">c.dsc</a></li>"), std::string::npos);
    EXPECT_NE(page.find("<section id=\"chart-3\">"), std::string::npos);
    EXPECT_EQ(page.find("chart-4"), std::string::npos);
    EXPECT_NE(page.find("<p>1 entry.</p>"), std::string::npos);
    EXPECT_NE(page.find("<p>2 entries; 1 warning (marked !).</p>"), std::string::npos);
    // Two tables, each compared with a third: contents too.
    maptool(dir, {"chart", "a.dsc", "b.dsc", "--against", "c.dsc", "-o", "against.html"});
    EXPECT_NE(read_file(dir / "against.html").find("<li><a href=\"#chart-2\">b.dsc</a></li>"),
              std::string::npos);
    EXPECT_EQ(page.find("compared"), std::string::npos);
}

// Colour goes to a terminal, or where asked for: a control's and a space's cell in red.
TEST(ChartVerb, TextInColourOnlyWhenAskedForAFile) {
    temp_dir dir;
    write_file(dir / "t.dsc", "00, 0000\n20, 0020\n41, 0041\n");
    const std::string red = "\x1b[31m";
    struct case_ {
        std::vector<std::string> words;
        const char* file; // where the chart goes, or nullptr for standard output
        bool colour;
    };
    const std::vector<case_> cases = {
        {{"--color=always"}, nullptr, true},
        {{"--color=always", "-o", "c.txt"}, "c.txt", true},
        {{"-o", "plain.txt"}, "plain.txt", false},
        {{"--color=never", "-o", "never.txt"}, "never.txt", false},
    };
    for (const case_& c : cases) {
        std::vector<std::string> words = {"chart", "--format=text", "t.dsc"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const program_result result = maptool(dir, words);
        EXPECT_EQ(result.status, 0) << result.err;
        const std::string chart = c.file ? read_file(dir / c.file) : from_text_mode(result.out);
        EXPECT_EQ(chart.find("\x1b[") != std::string::npos, c.colour) << chart;
        if (c.colour) {
            EXPECT_NE(chart.find(red + "\xE2\x90\x80"), std::string::npos) << chart; // NUL
            EXPECT_NE(chart.find(red + "\xE2\x90\xA0"), std::string::npos) << chart; // space
            EXPECT_EQ(chart.find(red + "A"), std::string::npos) << chart;
        }
    }
}

// Without Unicode data, the page depends on nothing but the table: the committed page is
// what maptool makes on every system, maptool.exe under Wine included.
TEST(ChartVerb, TheSamePageOnEverySystem) {
    temp_dir dir;
    const fs::path folder = fs::path(SOURCE_DIR) / "tests" / "chart";
    write_file(dir / "sample.dsc", read_file(folder / "sample.dsc"));
    const program_result result =
        maptool(dir, {"chart", "--no-names", "--all", "sample.dsc", "-o", "sample.html"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(read_file(dir / "sample.html") == read_file(folder / "sample.html"))
        << "the chart of tests/chart/sample.dsc is no longer tests/chart/sample.html";
}

} // namespace
