// Tables written as DSC files in the format of the bundled tables, and the system's iconv
// asked for one, byte by byte.
#pragma once

#include "engine/diagnostics.h"
#include "engine/mapping_sources.h"
#include "engine/result.h"
#include "engine/table_source.h"

#include <cstdint>
#include <string>
#include <vector>

// Whether the system's iconv knows a charset of this name (false without iconv).
bool iconv_knows(const std::string& charset);

// Asks iconv for each byte from `first` on, on its own; a byte it cannot convert is left
// out, one that cannot go into a map is left out with a warning.
result<std::vector<source_entry>> iconv_entries(const std::string& charset, std::uint8_t first,
                                                diagnostics& report);

// The name of the file at path without its folder and without ".gz".
std::string file_name_of(const std::string& path);

// The DSC file: header, a comment that says where the table came from (path, the source
// given), then the entries in byte order, named as the source names them or else by
// their Unicode names, when with_names is set.
std::string imported_dsc_text(const loaded_table& loaded, const std::string& path, bool with_names);
