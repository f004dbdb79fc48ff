// maptool's way of reading a DSC file: read it exactly as mapmaker does, go on past every
// fault, and report each problem with its place.
#pragma once

#include "engine/diagnostics.h"
#include "engine/fixes.h"
#include "table/code_table.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

struct dsc_check {
    code_table table;     // the entries mapmaker would write, when nothing failed
    bool failed = false;  // an error was reported: mapmaker refuses the file
    bool changed = false; // with fixing: a fix changed a line
};

// Reads the open file to its end and reports every finding under the file's name. With
// `fixing`, each whole line is fixed first (see fixed_line) and the findings are those of
// the fixed text: what is left after the fixes.
dsc_check check_dsc(std::FILE* file, std::string_view name, diagnostics& report,
                    std::optional<fix_choice> fixing = std::nullopt);
// The same for a text held in memory, such as an editor's unsaved buffer.
dsc_check check_dsc_text(std::string_view text, std::string_view name, diagnostics& report,
                         std::optional<fix_choice> fixing = std::nullopt);

// The findings about one line piece (line end included) that need no other line: the
// line's fault, or with `names` a comment that names another character. Their places
// count from the line's start, on line 1. The rules that offer fixes are all of this kind.
std::vector<finding> line_findings(std::string_view piece, bool names);
