// Tables by name: a table argument that is no file is looked up among the bundled tables
// (by name without extension, in any letter case), then glibc's charmaps (by name or
// alias, with or without .gz), then the charsets the system's iconv knows.
#pragma once

#include "engine/result.h"

#include <cstddef>
#include <string>
#include <vector>

// The folder of the bundled tables: $MAPTOOL_TABLES, else the one found from the program's
// own folder (share/mapmaker of an installed tree, tables beside the program in a build
// tree), so that a tree installed or unpacked anywhere finds its own; else the configured
// one.
std::string bundled_tables_folder();

// The same without $MAPTOOL_TABLES: where this program looks by itself, as help shows it.
std::string program_tables_folder();

// The folder of glibc's charmaps: $MAPTOOL_CHARMAPS, else /usr/share/i18n/charmaps.
std::string charmaps_folder();

struct named_table {
    std::string name;                 // cp866, KOI8-R
    std::string path;                 // the file
    std::vector<std::string> aliases; // a charmap's other names, from its % alias lines
};

// The bundled tables (.dsc and .map files), by name.
std::vector<named_table> bundled_tables();

// glibc's charmaps with their aliases, by name; none where the folder is missing.
std::vector<named_table> system_charmaps();

// What a bundled table's first comment line says of it, other than the header
// "//NAME -> UNICODE"; empty when it has none.
std::string table_title(const std::string& path);

// Whether a table argument is to be opened as it is: "-", iconv:NAME, a path with a
// folder in it, or a file that exists. Anything else is a name.
bool is_table_path(const std::string& argument);

// The path (or iconv:NAME) of the table a name stands for; when none matches, a failure
// that says why no file of that name opens, where the name was looked for, and near names;
// when several match in one place, a failure that lists them.
result<std::string> table_by_name(const std::string& name);
