// Unified diffs of two texts, line by line, as `diff -u` writes them and `patch` reads them.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

// Where a long text goes piece by piece, so that a diff of large files is never one string.
using text_sink = std::function<void(std::string_view)>;

// Writes to `out` the diff that turns `before` into `after`: a "--- " and a "+++ " line with
// the labels, then hunks "@@ -a,b +c,d @@" with up to `context` unchanged lines around each
// change. A line keeps its own line end (LF or CR LF); a last line without one is followed
// by "\ No newline at end of file". Writes nothing and returns false when the texts are the
// same.
bool unified_diff(std::string_view before_label, std::string_view before,
                  std::string_view after_label, std::string_view after, const text_sink& out,
                  std::size_t context = 3);
