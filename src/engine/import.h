// Tables from the standard forms: a Unicode mapping file or a POSIX charmap (gzip-
// compressed or not), or the system's iconv asked byte by byte.
#pragma once

#include "engine/diagnostics.h"
#include "engine/mapping_sources.h"
#include "engine/result.h"

#include <cstdint>
#include <string>
#include <vector>

// What a DSC file is made of: its entries, and the words of its header.
struct imported {
    std::vector<source_entry> entries;
    std::string name;   // the table's name, for the first line
    std::string origin; // where the entries came from, for the second line
};

// Reads a mapping file ("-": standard input). Its warnings about bytes from `first` on
// are reported; a malformed line is reported, and then the failure is already reported.
result<imported> import_file(const std::string& path, std::uint8_t first, diagnostics& report);

// Whether this build can ask the system's iconv.
bool iconv_available();

// Asks iconv for each byte from `first` on, on its own; a byte it cannot convert is left
// out, one that cannot go into a map is left out with a warning.
result<imported> import_iconv(const std::string& charset, std::uint8_t first, diagnostics& report);

// The DSC file: header, origin, then the entries in byte order, named as the source
// names them or else by their Unicode names, when with_names is set.
std::string imported_dsc_text(imported& table, bool with_names);
