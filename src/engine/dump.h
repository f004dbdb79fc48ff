// A map file read back as the DSC file that gives it back, byte for byte.
#pragma once

#include "engine/table_source.h"
#include "table/code_table.h"
#include "table/map_reader.h"

#include <string>

// Why a file is not a map file, in words; empty for a map file.
std::string map_fault_text(const map_reading& reading);

// The DSC text of a table: the header line with its name, then each entry in the table's
// order, named when with_names is set (as the source names it, else by Unicode's name,
// when the build has names). For a map file, the DSC file that gives it back.
std::string dump_text(const loaded_table& loaded, bool with_names);
