// Rewriting files in place, for the verbs that change a table's own text (fmt, check --fix):
// a caller-given transformation makes each file's new text, and this decides what becomes
// of it. A file whose new text is its old one is not written at all, so its modification
// time stays; one that changes is replaced through the atomic writer, so that a run killed
// at any moment leaves the old file or the new one. Standard input ("-") goes to `out`.
//
// Memory does not grow with a file written in place: the new text is compared with the old
// one as it comes, read from the file a second time, and the replacement is only started
// at the first difference, with the unchanged bytes before it copied from the old file. A
// diff needs both texts whole, and standard input's new text is held until the
// transformation has accepted all of it, as nothing may reach `out` before.
#pragma once

#include "engine/diagnostics.h"
#include "engine/unified_diff.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Makes a file's new text: reads `in`, open at the start of the file's bytes, and hands the
// new text to `out` piece by piece, in order. Returns false when it refuses the file, after
// reporting why under `name`; then nothing is written. `in` may be rewound and read again
// (standard input comes as a copy in a scratch file).
using transformation =
    std::function<bool(std::FILE* in, std::string_view name, const text_sink& out)>;

enum class rewrite_mode : std::uint8_t {
    write, // a file that changes is replaced; "-" writes its new text to `out`
    check, // nothing is written: only the outcome tells whether the file would change
    diff,  // nothing is written: the change goes to `out` as a unified diff
};

enum class rewrite_outcome : std::uint8_t {
    unchanged, // the new text is the old one; the file was not written
    changed,   // the file was replaced, or would be (check, diff)
    refused,   // the transformation refused the file; nothing was written
    failed,    // the file could not be read or written, which was reported
};

// Rewrites one file, or standard input for "-", as the mode says. Failures of the file
// itself are reported under its display name; so is a file written in place because its
// folder takes no temporary file (a warning). A path that names no regular file (a pipe,
// a device) is refused, as it cannot be replaced.
rewrite_outcome rewrite_file(const std::string& path, rewrite_mode mode,
                             const transformation& transform, diagnostics& report,
                             const text_sink& out);

// The paths with each later name of a file already named left out: the same path again, or
// another path or link to the same file, told before any of them is rewritten (a
// replaced file is a new file). "-" is kept once; a path that names nothing is kept, for
// its rewrite to report.
std::vector<std::string> distinct_files(const std::vector<std::string>& paths);
