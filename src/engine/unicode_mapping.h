// The Unicode mapping file format, as the consortium's tables are written: one entry a
// line, "0x80<TAB>0x0410<TAB>#CYRILLIC CAPITAL LETTER A".
#pragma once

#include "engine/text_forms.h"

#include <string>
#include <vector>

// One line of a Unicode mapping file.
void read_unicode_line(source_reader& reader, const source_line& line);

// The whole file, with a header of comments as the consortium's tables have one.
std::string unicode_mapping_text(std::string_view name, const std::vector<written_entry>& entries,
                                 const std::string& origin);
