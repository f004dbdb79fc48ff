// How two tables map the bytes differently, as a unified diff in DSC syntax.
#pragma once

#include "table/code_table.h"

#include <string>

// Whether the two would give byte-identical map files.
bool same_map(const code_table& a, const code_table& b);

// The lines of a diff of two tables that differ: for each byte, "-" lines for the codes
// only a gives it and "+" lines for those only b gives it; or, when every byte maps the
// same, a "\" line that says why the map files still differ.
std::string diff_lines(const code_table& a, const code_table& b);
