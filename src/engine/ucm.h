// ICU's .ucm file, for makeconv: a charmap ("<U0410> \\x80 |0") with declarations and
// precision flags of its own, which say in which directions a mapping holds.
#pragma once

#include "engine/text_forms.h"

#include <string>
#include <string_view>
#include <vector>

// The declarations only ICU's .ucm files have.
bool is_ucm_keyword(std::string_view word);

// A quoted value, as ICU writes them: "ibm-866_P100-1995".
std::string ucm_unquoted(std::string value);

// Why an ICU mapping of this precision is no entry of a map, which converts both ways;
// empty for |0, a round trip.
std::string ucm_one_way(char precision);

// The whole .ucm file of a single-byte code page. A map converts both ways, and so does
// each |0 line: an entry whose byte an earlier entry already gives goes in as a fallback
// (|1), one whose character an earlier entry already gives as a reverse fallback (|3),
// and an entry both repeat is left out. The table's own entries go first, in byte
// order, then those added for ASCII; the lines are written in byte order.
std::string ucm_text(std::string_view name, const std::vector<written_entry>& entries,
                     const std::string& origin);
