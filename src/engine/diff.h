// How two tables differ: whether they map every byte the same or give the same map file,
// why not in one line, and the text a unified diff of them shows.
#pragma once

#include "engine/result.h"
#include "engine/table_source.h"
#include "table/code_table.h"

#include <string>

// Whether the two would give byte-identical map files.
bool same_map(const code_table& a, const code_table& b);

// Whether the two map every byte the same: the same codes for each byte, in the order of
// their first entries (the first is the one a conversion uses). The order of the lines and
// repeated entries do not count.
bool same_bytes(const code_table& a, const code_table& b);

// Why two tables are not the same map file, in words: "2 bytes map differently (80, 9F)",
// or, when every byte maps the same, the order or the repeats of the entries.
std::string difference_text(const code_table& a, const code_table& b);

// The text a diff shows for a table read from path: a DSC file's own text, so that the
// hunks give its line numbers and patch applies to it; any other source, and a DSC file
// from standard input (which cannot be read twice), as dump writes it.
result<std::string> diff_text(const std::string& path, const loaded_table& loaded);
