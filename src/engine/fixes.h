// The one place fixes are applied: to a line, and to a whole DSC file line by line, with the
// fixes re-found after each one.
#pragma once

#include "engine/findings.h"
#include "engine/unified_diff.h"
#include "table/dsc_pieces.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Which fixes are applied: the safe ones, or also the first alternative of each unsafe one.
enum class fix_choice : std::uint8_t { safe, unsafe };

// The fix of the findings that the choice applies first: the first safe one, else with
// `unsafe` the first unsafe one; none when there is none.
const fix* first_fix(const std::vector<finding>& found, fix_choice choice);

// The line with the edits of a fix made, all of which lie on this line; columns count from
// the line's first byte.
std::string applied(std::string_view line, const fix& edit);

// Whether a piece is a whole line, so that fixing it cannot move the pieces after it: it
// starts a line and ends it, or ends the text short of a piece's full length.
inline bool whole_line(std::string_view piece, bool at_line_start) {
    return at_line_start && (piece.ends_with('\n') || piece.size() < LINE_PIECE_MAX);
}

// A line (one line piece, line end included) with its fixes applied one at a time, the
// line checked again after each, until none is left. A fix that would make the line too
// long to stay one piece is not made, and the fixing stops there, so that fixing a fixed
// line changes nothing.
std::string fixed_line(std::string_view piece, fix_choice choice);

// Reads a DSC file to its end and hands its bytes, every whole line fixed, to `out` in
// order; what follows a Ctrl-Z is handed on as it is. False when the file could not be
// read.
bool copy_fixed(std::FILE* file, fix_choice choice, const text_sink& out);
// The same for a text held in memory: the text with every whole line fixed.
std::string fixed_text(std::string_view text, fix_choice choice);
