// maptool's way of reading a DSC file: read it exactly as mapmaker does, go on past every
// fault, and report each problem with its place.
#pragma once

#include "engine/diagnostics.h"
#include "table/code_table.h"

#include <cstdio>
#include <string_view>

struct dsc_check {
    code_table table;    // the entries mapmaker would write, when nothing failed
    bool failed = false; // an error was reported: mapmaker refuses the file
};

// Reads the open file to its end and reports every finding under the file's name.
dsc_check check_dsc(std::FILE* file, std::string_view name, diagnostics& report);
