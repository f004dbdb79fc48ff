// The one layout of DSC files that maptool fmt writes: each entry "XX, YYYY" with upper-case
// hexadecimal digits, its trailer a "//" comment, and everything else as it was.
//
// An entry's fields are padded with zeros to two and four digits; a longer field is kept
// as written, as its extra digits are part of what the file says (check warns about them).
// The separator becomes one comma and one space, leading spaces go, and a trailer that is
// not a "//" comment becomes one ("80, 0410 text" -> "80, 0410 // text"); spaces after the
// second field with nothing after them go too. Comment lines lose their leading spaces;
// comment texts, empty lines and line ends (LF or CR LF) stay as they are, and so does
// whatever follows a Ctrl-Z.
//
// mapmaker makes the same map of the new text as of the old, the line count stays, and
// formatting the new text again changes nothing: a line is only rewritten when it is read
// as one piece both before and after, and holds no CR or NUL that ends its text early. A
// line of 254 characters or more, which mapmaker reads as several pieces, is left as it
// is; so is a line whose new form would grow that long.
#pragma once

#include "engine/diagnostics.h"
#include "engine/unified_diff.h"

#include <cstdio>
#include <string_view>

struct format_options {
    bool names = false; // an entry without a comment gets its character's name as one
};

// Reads the DSC text of `in` to its end and hands the formatted text to `out`. A file
// mapmaker would refuse is refused: `in` is read again from its start by the checker,
// whose errors are reported under `name`, and false is returned.
bool format_dsc(std::FILE* in, std::string_view name, const format_options& options,
                diagnostics& report, const text_sink& out);
// The same for a text held in memory, such as an editor's unsaved buffer.
bool format_dsc_text(std::string_view text, std::string_view name, const format_options& options,
                     diagnostics& report, const text_sink& out);
