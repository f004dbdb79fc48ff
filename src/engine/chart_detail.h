// What the HTML and the text chart share.
#pragma once

#include "engine/chart.h"
#include "engine/utf8.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rows drawn: those with a byte either table maps, or all 16.
std::vector<unsigned> rows_shown(const chart_table& table, const chart_layout& layout);

// Whether the compared table maps the byte otherwise.
bool differs(const chart_table& table, unsigned byte);

// The word for a class, as the legend says it: "letter".
std::string_view class_word(char_class kind);

// "U+0410 CYRILLIC CAPITAL LETTER A", or the code alone when its name is not known; safe.
std::string described(const chart_entry& entry);
