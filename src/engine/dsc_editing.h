// What an editor asks about a DSC text it holds: the checker's findings, kept; the entry a
// line holds; the characters whose names match a few typed words; and the smallest edits
// that turn a text into its fixed or formatted form.
#pragma once

#include "engine/diagnostics.h"
#include "unicode/classes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The findings of `text` as check reports them under the policy, each one owned: their
// excerpts (which point into the reader's block) are left out.
std::vector<finding> text_findings(std::string_view text, const warning_policy& policy);

// An entry line read as mapmaker reads its first piece.
struct entry_facts {
    std::uint8_t byte = 0;
    std::uint32_t code = 0;
    std::string name; // empty without names
    char_class kind = char_class::other;
};
std::optional<entry_facts> entry_on_line(std::string_view line);

// Where a line's completion would go: the byte range of what was typed, and what is
// offered there.
enum class completion_place : std::uint8_t { none, comment, code };
struct completion_spot {
    completion_place place = completion_place::none;
    std::size_t start = 0;    // the typed text: [start, cursor) of the line
    std::uint32_t code = 0;   // in a comment: the entry's code
    bool has_comment = false; // in the code field: a comment follows already
};
// What a cursor at byte `cursor` of a line (without its line end) is in: an entry's
// comment (after "//"), or the second field of a line whose first field is read, before
// any comment.
completion_spot completion_at(std::string_view line, std::size_t cursor);

// The codes (0000 to FFFF) whose names hold every typed word at the start of one of
// their words, without regard to case: those whose name starts with the typed text first,
// then the others, each group in code order; at most `limit`, `cut` when there were more.
struct name_matches {
    std::vector<std::uint32_t> codes;
    bool cut = false;
};
name_matches codes_named(std::string_view typed, std::size_t limit);

// An edit of the old text: bytes [from, to) become `text`.
struct text_edit {
    std::size_t from = 0;
    std::size_t to = 0;
    std::string text;
};
// The edits that turn `before` into `after`, one per changed line, each cut to the bytes
// that differ, when both have the same lines (LF-ended), as fixes and formatting keep
// them; else one edit of the whole text. None when the texts are the same.
std::vector<text_edit> line_edits(std::string_view before, std::string_view after);
