// mapmaker's way of reading a DSC file: the first fault ends the run with its status code.
#pragma once

#include "table/code_table.h"

#include <cstdint>
#include <cstdio>

// Reads the DSC file to its end into the code table, counting every line piece in
// line_counter. On return the table holds 1 to MAX_ENTRIES entries. Raises
// status_code::read_error, status_code::invalid_dsc or status_code::too_many_entries.
void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter);
