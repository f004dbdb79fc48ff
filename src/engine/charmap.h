// The POSIX charmap, as glibc ships them ("<U0410> /x80 CYRILLIC CAPITAL LETTER A"); ICU's
// .ucm file is one with declarations and precision flags of its own (ucm.cpp).
#pragma once

#include "engine/text_forms.h"

#include <string>
#include <vector>

struct charmap_syntax {
    char comment = '#';
    char escape = '\\';
};

// A line before CHARMAP: "<keyword> value", a comment or nothing. False after CHARMAP.
bool read_charmap_declaration(source_reader& reader, const source_line& line,
                              charmap_syntax& syntax);

// A line between CHARMAP and END CHARMAP that is no comment, with content from start.
void read_charmap_entry(source_reader& reader, const source_line& line, std::size_t start,
                        const charmap_syntax& syntax);

// The whole charmap, as glibc's are written.
std::string charmap_text(std::string_view name, const std::vector<written_entry>& entries,
                         const std::string& origin);
