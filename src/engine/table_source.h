// A table, whatever form it is given in: a map file, a DSC file, a Unicode mapping file, a
// POSIX charmap, an ICU .ucm file (each text form plain or gzip-compressed), or a charset
// of the system's iconv written iconv:NAME. Files are told apart by their content, never
// by their names.
#pragma once

#include "engine/diagnostics.h"
#include "engine/files.h"
#include "engine/result.h"
#include "table/code_table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class table_form : std::uint8_t { map, dsc, unicode_table, charmap, ucm, iconv };

struct loaded_table {
    code_table table;
    std::vector<std::string> names; // parallel to table.records: the source's name for the
                                    // character, or empty where it gives none
    std::string name;               // the table's name: the charset, else the file's name
    std::string charset;            // the charset the source names, or empty
    table_form form = table_form::dsc;
};

// The form in words, as an origin line or a message names it: "the charmap".
std::string form_text(table_form form);

// Reads the table at path ("-": standard input; "iconv:NAME": the system's iconv). A
// DSC file is read as mapmaker reads it and its problems are reported as `maptool check`
// reports them; the forms that list a whole code page (Unicode mapping files, charmaps,
// .ucm files, iconv) give their bytes from `first` on, and only those are warned about.
// When an error was found, it is already reported.
result<loaded_table> load_source(const std::string& path, std::uint8_t first, diagnostics& report);

// load_source of the bytes 80 to FF, the half the bundled tables define.
result<loaded_table> load_table(const std::string& path, diagnostics& report);

// The UNICODE code of the table's i-th record.
std::uint16_t code_at(const code_table& table, std::size_t i);

// The name of the i-th record's character: the source's, else its Unicode name.
std::string name_at(const loaded_table& loaded, std::size_t i);

// The places of the table's records in byte order; the entries of one byte keep theirs.
std::vector<std::size_t> byte_order(const code_table& table);

// Whether writing to output would overwrite the source itself, by any name or link.
bool is_source_file(const std::string& source, const std::string& output);

// For a verb that reads DSC files only: the file a table argument names, found by name as
// load_source finds it. A table of another form (a map, a Unicode mapping table, a charmap,
// a .ucm file, iconv:NAME) is one error that says what it is and which verb reads it.
result<input_file> open_dsc_source(const std::string& argument, diagnostics& report);
