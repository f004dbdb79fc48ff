// Writing the code table as a map file: a 2-byte entry count, then one 3-byte record per
// entry, every number high byte first.
#pragma once

#include "table/code_table.h"

#include <cstdio>

// Writes the header and the records; false when either is not written in full. The file
// stays open.
bool write_map(const code_table& table, std::FILE* map_file);
