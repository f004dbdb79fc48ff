// A map file read back as the DSC file that gives it back, byte for byte.
#pragma once

#include "table/code_table.h"
#include "table/map_reader.h"

#include <string>
#include <vector>

// Why a file is not a map file, in words; empty for a map file.
std::string map_fault_text(const map_reading& reading);

// The DSC text of a table: the header line with the name, then each entry in the map's
// order, named when with_names is set and the build has names.
std::string dump_text(const code_table& table, const std::string& name, bool with_names);

// As above, each entry named as names (parallel to the records) names it, where it does.
std::string dump_text(const code_table& table, const std::vector<std::string>& names,
                      const std::string& name, bool with_names);
