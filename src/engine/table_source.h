// A table given as a file: a map file when its size is 2 + 3N for the count N (1 to 256)
// in its first two bytes, else a DSC file, read as mapmaker reads it.
#pragma once

#include "engine/diagnostics.h"
#include "engine/result.h"
#include "table/code_table.h"

#include <string>

struct loaded_table {
    code_table table;
    bool is_map = false;
};

// Reads the table at path ("-": standard input). A DSC file's problems are reported as
// `maptool check` reports them; when one is an error, the failure is already reported.
result<loaded_table> load_table(const std::string& path, diagnostics& report);
