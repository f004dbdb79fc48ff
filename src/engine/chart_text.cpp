// The chart as text for a terminal: a header of column digits, a row per high digit, each
// cell four columns wide (the glyph in two, then a mark), so that the grid is 66 columns
// wide whatever the characters; then the warnings and differences line by line.
#include "engine/chart.h"
#include "engine/chart_detail.h"
#include "engine/dsc_text.h"

namespace {

constexpr std::string_view DIM = "\x1b[2m";
constexpr std::string_view RED = "\x1b[31m";
constexpr std::string_view YELLOW = "\x1b[1;33m";
constexpr std::string_view CYAN = "\x1b[1;36m";
constexpr std::string_view RESET = "\x1b[0m";

std::string painted(std::string_view text, std::string_view colour, bool color) {
    return color && !colour.empty() ? std::string(colour) + std::string(text) + std::string(RESET)
                                    : std::string(text);
}

std::string cell_text(const chart_table& table, unsigned byte, bool color) {
    const std::optional<chart_entry>& ours = table.cells[byte];
    const bool changed = differs(table, byte);
    const bool warned = !table.warnings[byte].empty();
    // A wide character fills both glyph columns, any other leaves the second blank.
    std::string glyph = ours ? cell_glyph(*ours) : "--";
    if (ours && (ours->width < 2 || glyph != utf8_of(ours->code))) {
        glyph += " ";
    }
    std::string_view colour;
    if (!ours) {
        colour = DIM;
    } else if (ours->kind == char_class::control || ours->kind == char_class::space) {
        colour = RED;
    }
    const std::string_view mark = changed ? "*" : warned ? "!" : " ";
    const std::string_view mark_colour = changed ? CYAN : warned ? YELLOW : std::string_view();
    std::string cell = " ";
    cell += painted(glyph, colour, color);
    cell += painted(mark, mark_colour, color);
    return cell;
}

} // namespace

std::string chart_text(const chart_table& table, const chart_layout& layout, bool color) {
    std::string out = safe_text(table.title) + ": " + std::to_string(table.entries) +
                      (table.entries == 1 ? " entry" : " entries");
    if (table.against_title) {
        out += ", compared with " + safe_text(*table.against_title);
    }
    out += "\n\n  ";
    for (unsigned column = 0; column < 16; ++column) {
        out += " _" + hex_digits(column, 1) + " ";
    }
    out += "\n";
    for (const unsigned row : rows_shown(table, layout)) {
        out += hex_digits(row, 1) + "_";
        for (unsigned column = 0; column < 16; ++column) {
            out += cell_text(table, row * 16 + column, color);
        }
        out += "\n";
    }
    out += "\n" + painted("--", DIM, color) + " not mapped   " +
           painted(cell_glyph({0x0, {}, char_class::control, 1}), RED, color) + " control   " +
           painted("!", YELLOW, color) + " warning" +
           (table.against_title ? "   " + painted("*", CYAN, color) + " differs" : "") + "\n";
    std::string lines;
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (differs(table, byte)) {
            const std::optional<chart_entry>& ours = table.cells[byte];
            const std::optional<chart_entry>& theirs = table.against[byte];
            lines += hex_digits(byte, 2) + " " + painted("*", CYAN, color) + " " +
                     (ours ? described(*ours) : "not mapped") + " / " +
                     (theirs ? described(*theirs) : "not mapped") + "\n";
        }
        for (const std::string& warning : table.warnings[byte]) {
            lines += hex_digits(byte, 2) + " " + painted("!", YELLOW, color) + " " +
                     safe_text(warning) + "\n";
        }
    }
    return lines.empty() ? out : out + "\n" + lines;
}
