// The chart as one HTML page that needs nothing else: no script, no font, no style from
// elsewhere. Everything that comes from the input goes through safe_text and then
// escape, so that it is text and never markup.
#include "engine/chart.h"
#include "engine/chart_detail.h"
#include "engine/dsc_text.h"

namespace {

// Light colours by default, dark ones where the reader asks for them. Each class also has
// a border style of its own, and a left-out byte is hatched: the chart reads without
// colour too, printed in black and white.
constexpr std::string_view STYLE = R"(
:root { color-scheme: light dark; --text: #1a1a1a; --page: #ffffff; --line: #6b6b6b;
  --letter: #dbe9ff; --mark: #e8dcff; --digit: #d6f5d6; --punctuation: #fff1c2;
  --symbol: #f9dcef; --space: #e6e6e6; --control: #ffd9d2; --other: #eeeeee;
  --none: #9a9a9a; --warn: #c00000; --diff: #0050c8; }
@media (prefers-color-scheme: dark) {
  :root { --text: #ececec; --page: #161616; --line: #9a9a9a;
    --letter: #1d3558; --mark: #3b2a5c; --digit: #1e4a24; --punctuation: #4d4110;
    --symbol: #552343; --space: #333333; --control: #5e231b; --other: #2b2b2b;
    --none: #6e6e6e; --warn: #ff7070; --diff: #7ab0ff; } }
body { font-family: sans-serif; color: var(--text); background: var(--page); margin: 1.5rem; }
h1 { font-size: 1.5rem; } h2 { font-size: 1.25rem; margin-top: 2rem; }
table.chart { border-collapse: separate; border-spacing: 3px; table-layout: fixed;
  width: 100%; max-width: 64rem; }
table.chart th { font-family: monospace; font-weight: bold; font-size: 0.9rem; }
table.chart thead th { height: 1.5rem; }
table.chart tbody th { width: 2.25rem; }
td { border: 2px solid var(--line); padding: 0.15rem; text-align: center; vertical-align: top;
  height: 3.6rem; position: relative; unicode-bidi: isolate; }
td .g { display: block; font-size: 1.6rem; line-height: 2.1rem; min-height: 2.1rem;
  unicode-bidi: isolate; white-space: pre; }
td .g2 { display: block; font-size: 1.1rem; line-height: 1.2rem; } td .g2.n { font-size: 0.7rem; } td .g2::before { content: "\2260\00A0"; font-size: 0.8rem; }
td .c { display: block; font-family: monospace; font-size: 0.68rem; line-height: 0.85rem;
  white-space: nowrap; }
td .b { position: absolute; top: 0; left: 0.2rem; font-family: monospace; font-size: 0.68rem;
  font-weight: bold; }
.k-letter { background: var(--letter); } .k-mark { background: var(--mark); }
.k-digit { background: var(--digit); border-style: double; border-width: 4px; }
.k-punctuation { background: var(--punctuation); border-style: dashed; }
.k-symbol { background: var(--symbol); border-style: dotted; }
.k-space { background: var(--space); border-style: dashed dotted; }
.k-control { background: var(--control); border-style: solid; border-width: 2px 2px 6px; }
.k-other { background: var(--other); border-style: dotted dashed; }
.none { background: repeating-linear-gradient(135deg, transparent 0 5px, var(--none) 5px 6px);
  border-style: solid; border-color: var(--none); }
.none .c { opacity: 0.8; }
.warn { outline: 3px solid var(--warn); outline-offset: -1px; }
.diff { outline: 3px dashed var(--diff); outline-offset: -1px; }
.badge { position: absolute; top: 0; right: 0.2rem; font-weight: bold; font-size: 0.8rem; }
.warn .badge { color: var(--warn); } .diff .badge { color: var(--diff); }
.sr { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0);
  white-space: nowrap; }
ul.legend { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: 0.4rem 1.2rem; }
ul.legend li { display: flex; align-items: center; gap: 0.4rem; }
ul.legend .sw { display: inline-block; width: 1.6rem; height: 1.3rem; border: 2px solid var(--line);
  position: relative; text-align: center; }
ul.notes { font-size: 0.9rem; }
code { font-family: monospace; }
@media print {
  :root { --text: #000000; --page: #ffffff; font-size: 8pt; }
  body { margin: 0; }
  * { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
  section { break-before: page; } section:first-of-type { break-before: auto; }
  table.chart { break-inside: avoid; max-width: none; }
  nav { display: none; } }
)";

std::string escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string hex2(unsigned value) {
    return hex_digits(value, 2);
}

std::string cell_html(const chart_table& table, unsigned byte) {
    const std::optional<chart_entry>& ours = table.cells[byte];
    const std::vector<std::string>& warnings = table.warnings[byte];
    const bool changed = differs(table, byte);
    std::string classes = ours ? "k-" + std::string(class_word(ours->kind)) : "none";
    std::string hover;
    std::string glyphs = "<span class=\"g\">" + (ours ? escape(cell_glyph(*ours)) : "") + "</span>";
    const std::string codes = "<span class=\"b\">" + hex2(byte) + "</span><span class=\"c\">" +
                              (ours ? "U+" + hex_digits(ours->code, 4) : std::string("none")) +
                              "</span>";
    if (changed) {
        const std::optional<chart_entry>& theirs = table.against[byte];
        classes += " diff";
        hover = safe_text(table.title) + ": " + (ours ? described(*ours) : "not mapped") + "\n" +
                safe_text(*table.against_title) + ": " +
                (theirs ? described(*theirs) : "not mapped");
        glyphs += theirs ? "<span class=\"g2\">" + escape(cell_glyph(*theirs)) + "</span>"
                         : std::string("<span class=\"g2 n\">none</span>");
    } else if (ours) {
        hover = ours->name.empty() ? "U+" + hex_digits(ours->code, 4) : safe_text(ours->name);
    } else {
        hover = "byte " + hex2(byte) + ": not mapped";
    }
    for (const std::string& warning : warnings) {
        hover += "\nwarning: " + safe_text(warning);
    }
    if (!warnings.empty()) {
        classes += " warn";
    }
    std::string badge;
    if (changed || !warnings.empty()) {
        badge = std::string("<span class=\"badge\" aria-hidden=\"true\">") +
                (warnings.empty() ? "" : "!") + (changed ? "\xE2\x89\xA0" : "") + "</span>";
    }
    return "<td class=\"" + classes + "\" title=\"" + escape(hover) + "\">" + badge + glyphs +
           codes + "<span class=\"sr\">" + escape(hover) + "</span></td>";
}

std::string notes_html(const chart_table& table) {
    std::string items;
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (const std::string& warning : table.warnings[byte]) {
            items += "<li><code>" + hex2(byte) + "</code> warning: " + escape(safe_text(warning)) +
                     "</li>\n";
        }
    }
    return items.empty() ? "" : "<ul class=\"notes\">\n" + items + "</ul>\n";
}

std::string grid_html(const chart_table& table, const chart_layout& layout) {
    std::string out = "<table class=\"chart\">\n<thead><tr><th scope=\"col\"><span "
                      "class=\"sr\">row</span></th>";
    for (unsigned column = 0; column < 16; ++column) {
        out += "<th scope=\"col\">_" + hex_digits(column, 1) + "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const unsigned row : rows_shown(table, layout)) {
        out += "<tr><th scope=\"row\">" + hex_digits(row, 1) + "_</th>";
        for (unsigned column = 0; column < 16; ++column) {
            out += cell_html(table, row * 16 + column);
        }
        out += "</tr>\n";
    }
    return out + "</tbody>\n</table>\n";
}

std::string summary_html(const chart_table& table) {
    std::size_t warnings = 0;
    std::size_t changed = 0;
    for (unsigned byte = 0; byte < 256; ++byte) {
        warnings += table.warnings[byte].size();
        changed += differs(table, byte) ? 1 : 0;
    }
    std::string out =
        "<p>" + std::to_string(table.entries) + (table.entries == 1 ? " entry" : " entries");
    if (table.against_title) {
        out += "; compared with <strong>" + escape(safe_text(*table.against_title)) +
               "</strong>: " + std::to_string(changed) +
               (changed == 1 ? " byte differs" : " bytes differ") +
               " (marked \xE2\x89\xA0, with its character beside)";
    }
    if (warnings > 0) {
        out += "; " + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
               " (marked !)";
    }
    return out + ".</p>\n";
}

std::string legend_html() {
    std::string out = "<ul class=\"legend\" aria-label=\"Legend\">\n";
    for (const char_class kind :
         {char_class::letter, char_class::mark, char_class::digit, char_class::punctuation,
          char_class::symbol, char_class::space, char_class::control, char_class::other}) {
        const std::string word(class_word(kind));
        out += "<li><span class=\"sw k-" + word + "\"></span>" + word + "</li>\n";
    }
    out += "<li><span class=\"sw none\"></span>not mapped</li>\n"
           "<li><span class=\"sw warn\"><span class=\"badge\">!</span></span>warning (on "
           "hover)</li>\n"
           "<li><span class=\"sw diff\"><span class=\"badge\">\xE2\x89\xA0</span></span>"
           "differs</li>\n</ul>\n";
    return out;
}

} // namespace

std::string chart_html(const std::vector<chart_table>& tables, const chart_layout& layout) {
    const std::string heading =
        tables.size() == 1 ? "Code chart: " + safe_text(tables[0].title) : "Code charts";
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<title>" +
                      escape(heading) + "</title>\n<style>" + std::string(STYLE) +
                      "</style>\n</head>\n<body>\n<h1>" + escape(heading) + "</h1>\n" +
                      "<p>Row: the byte's high digit; column: its low digit. Each cell: the "
                      "character, its byte and its code; its name on hover.</p>\n" +
                      legend_html();
    if (tables.size() > 1) {
        out += "<nav aria-label=\"Contents\">\n<h2>Contents</h2>\n<ol>\n";
        for (std::size_t i = 0; i < tables.size(); ++i) {
            out += "<li><a href=\"#chart-" + std::to_string(i + 1) + "\">" +
                   escape(safe_text(tables[i].title)) + "</a></li>\n";
        }
        out += "</ol>\n</nav>\n";
    }
    out += "<main>\n";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const std::string id = "chart-" + std::to_string(i + 1);
        out += "<section id=\"" + id + "\">\n<h2>" + escape(safe_text(tables[i].title)) +
               "</h2>\n" + summary_html(tables[i]) + grid_html(tables[i], layout) +
               notes_html(tables[i]) + "</section>\n";
    }
    return out + "</main>\n</body>\n</html>\n";
}
