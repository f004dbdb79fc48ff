// A table written in the formats other tools read: ICU's .ucm (for makeconv and uconv),
// the Unicode mapping file format, a POSIX charmap as glibc's are written, and DSC.
#pragma once

#include "engine/table_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class export_format : std::uint8_t { ucm, unicode, charmap, dsc };

// The format a --format word names; none for a word that names none.
std::optional<export_format> export_format_named(std::string_view word);

// The whole file. `origin` says in a comment where the table came from (DSC, as dump
// writes it, has none). Entries go in byte order, except in DSC, which keeps the table's.
// With ascii, a .ucm file or charmap gives each byte from 00 to 7F the table leaves out
// as ASCII, as convert reads it: ICU and glibc take what the file lists as the whole code
// page, and a page without its line ends and letters is no use for a text.
std::string export_text(const loaded_table& loaded, export_format format, const std::string& origin,
                        bool ascii);

// Who already knows the charset name a .ucm file or charmap of this table would carry:
// "ICU" for a .ucm file (ICU takes its own converter of that name over one built from the
// file), "glibc's iconv" for a charmap; empty when nobody does, or the format has no name
// others look up.
std::string export_name_taken(const loaded_table& loaded, export_format format);

// The charset name the file carries: the table's name as one word.
std::string export_name(const loaded_table& loaded);
