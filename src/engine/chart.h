// Code charts: a table drawn as a 16 x 16 grid, row by high nibble and column by low
// nibble, as HTML for the browser and as text for the terminal.
#pragma once

#include "engine/findings.h"
#include "table/code_table.h"
#include "unicode/classes.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What one byte maps to, with what the chart says about the character.
struct chart_entry {
    std::uint16_t code = 0;
    std::string name; // empty: not known
    char_class kind = char_class::other;
    int width = 1; // terminal columns
};

using chart_side = std::array<std::optional<chart_entry>, 256>;

struct chart_table {
    std::string title;
    std::size_t entries = 0;
    chart_side cells;
    std::array<std::vector<std::string>, 256> warnings; // what check says about each byte
    // With a second table to compare: its title and cells.
    std::optional<std::string> against_title;
    chart_side against;
};

// Where the chart's names and classes come from.
struct chart_data {
    bool unicode = true; // ICU's names, classes and widths, where the build has them
    // Names given with the entries, in the table's order (a DSC file's comments), used
    // where Unicode has none; may be shorter than the table.
    std::vector<std::string> names;
};

// The cells of a table: a byte listed twice shows its first entry.
chart_side chart_cells(const code_table& table, const chart_data& data);

// The names a DSC file's comments give its entries, in the order mapmaker reads them:
// the text after the UNICODE field, without a leading "//", spaces trimmed.
std::vector<std::string> dsc_comment_names(std::FILE* file);

// The byte of the entry a finding of check is about, for the warnings that belong to one
// entry (repeats, surrogates, noncharacters, truncated fields, a comment naming another
// character); none for the others.
std::optional<std::uint8_t> finding_byte(const finding& found);

struct chart_layout {
    bool all_rows = false; // also the rows the tables leave empty
};

// One self-contained HTML page, a grid per table, with a table of contents for several.
std::string chart_html(const std::vector<chart_table>& tables, const chart_layout& layout);

// The grid as text, 66 columns wide, then the warnings and differences line by line.
// Colour as ANSI escapes when asked.
std::string chart_text(const chart_table& table, const chart_layout& layout, bool color);

// Text from the input as it can be shown safely: visible() spells out what is no valid
// UTF-8 and the control bytes, and this also spells out C1 controls, bidirectional and
// other invisible format characters, and noncharacters as <U+XXXX>.
std::string safe_text(std::string_view text);

// The glyph a cell shows for a code: the character itself, a mark on a dotted circle, a
// picture for a control or space, U+FFFD for a surrogate or noncharacter.
std::string cell_glyph(const chart_entry& entry);
