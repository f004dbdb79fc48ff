#include "engine/dsc_editing.h"

#include "engine/dsc_check.h"
#include "table/dsc_reader.h"
#include "unicode/names.h"

#include <algorithm>

namespace {

// Keeps every finding the policy lets through, as it comes.
class collector : public renderer {
  public:
    void render(const finding& found) override {
        kept.push_back(found);
        kept.back().source = {}; // a view into the reader's block, gone once it is read
        kept.back().file = {};
    }
    void finish(const report_counts& /*counts*/) override {}

    std::vector<finding> kept;
};

// The first piece of a line, as mapmaker reads it.
dsc_line first_piece(std::string_view line) {
    return parse_dsc_line(line.substr(0, std::min(line.size(), LINE_PIECE_MAX)));
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_name_separator(char c) {
    return c == ' ' || c == '-';
}

// Whether `word` starts a word of `name` (upper case, words between spaces and hyphens).
bool starts_a_word(std::string_view name, std::string_view word) {
    for (std::size_t at = 0; at < name.size(); ++at) {
        if ((at == 0 || is_name_separator(name[at - 1])) && name.substr(at, word.size()) == word) {
            return true;
        }
    }
    return false;
}

bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The one edit that turns line a into line b, cut to the bytes that differ, never within
// a UTF-8 sequence; `start` is a's offset in its text.
text_edit edit_of_line(std::string_view a, std::string_view b, std::size_t start) {
    const auto starts_character = [](std::string_view text, std::size_t at) {
        return at >= text.size() || !is_continuation(text[at]);
    };
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
        ++prefix;
    }
    while (prefix > 0 && !(starts_character(a, prefix) && starts_character(b, prefix))) {
        --prefix;
    }
    std::size_t suffix = 0;
    const std::size_t room = std::min(a.size(), b.size()) - prefix;
    while (suffix < room && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
        ++suffix;
    }
    while (suffix > 0 &&
           !(starts_character(a, a.size() - suffix) && starts_character(b, b.size() - suffix))) {
        --suffix;
    }
    return {start + prefix, start + a.size() - suffix,
            std::string(b.substr(prefix, b.size() - suffix - prefix))};
}

} // namespace

std::vector<finding> text_findings(std::string_view text, const warning_policy& policy) {
    collector out;
    diagnostics report(policy, out); // no limit of errors and no summary: nothing to finish
    check_dsc_text(text, "", report);
    return std::move(out.kept);
}

std::optional<entry_facts> entry_on_line(std::string_view line) {
    const dsc_line parsed = first_piece(line);
    if (parsed.kind != line_kind::entry) {
        return std::nullopt;
    }
    const std::uint32_t code = code_of(parsed.record);
    return entry_facts{parsed.record[0], code, char_name(code), class_of(code)};
}

completion_spot completion_at(std::string_view line, std::size_t cursor) {
    const dsc_line parsed = first_piece(line);
    cursor = std::min(cursor, line.size());
    const bool second_read =
        parsed.kind == line_kind::entry ||
        (parsed.kind == line_kind::fault && (parsed.fault == line_fault::second_field_empty ||
                                             parsed.fault == line_fault::second_field_bad));
    if (!second_read || cursor < parsed.second_start) {
        return {};
    }
    const std::size_t comment = line.find("//", parsed.second_start);
    if (comment != std::string_view::npos && cursor >= comment + 2) {
        if (parsed.kind != line_kind::entry) {
            return {};
        }
        const std::size_t text = std::min(line.find_first_not_of(' ', comment + 2), cursor);
        return {completion_place::comment, text, code_of(parsed.record), true};
    }
    if (comment != std::string_view::npos && cursor > comment) {
        return {}; // between the two slashes
    }
    return {completion_place::code, parsed.second_start, 0, comment != std::string_view::npos};
}

name_matches codes_named(std::string_view typed, std::size_t limit) {
    std::vector<std::string> words;
    std::string whole;
    for (const char c : typed) {
        whole += upper(c);
    }
    for (std::size_t at = 0; at < whole.size();) {
        const std::size_t end = std::min(whole.find_first_of(" -", at), whole.size());
        if (end > at) {
            words.push_back(whole.substr(at, end - at));
        }
        at = end + 1;
    }
    name_matches found;
    if (words.empty() || !names_available()) {
        return found;
    }
    std::vector<std::uint32_t> others;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const std::string name = char_name(code);
        if (name.empty() || name.starts_with('<')) {
            continue; // no name of its own: a control, a surrogate, unassigned
        }
        if (name.starts_with(whole)) {
            if (found.codes.size() <= limit) {
                found.codes.push_back(code);
            }
        } else if (others.size() <= limit &&
                   std::all_of(words.begin(), words.end(), [&](const std::string& word) {
                       return starts_a_word(name, word);
                   })) {
            others.push_back(code);
        }
    }
    found.codes.insert(found.codes.end(), others.begin(), others.end());
    found.cut = found.codes.size() > limit;
    found.codes.resize(std::min(found.codes.size(), limit));
    return found;
}

std::vector<text_edit> line_edits(std::string_view before, std::string_view after) {
    std::vector<text_edit> edits;
    if (before == after) {
        return edits;
    }
    if (std::count(before.begin(), before.end(), '\n') !=
        std::count(after.begin(), after.end(), '\n')) {
        edits.push_back({0, before.size(), std::string(after)});
        return edits;
    }
    std::size_t a = 0;
    std::size_t b = 0;
    while (a <= before.size()) {
        const std::size_t a_end = std::min(before.find('\n', a), before.size());
        const std::size_t b_end = std::min(after.find('\n', b), after.size());
        const std::string_view old_line = before.substr(a, a_end - a);
        const std::string_view new_line = after.substr(b, b_end - b);
        if (old_line != new_line) {
            edits.push_back(edit_of_line(old_line, new_line, a));
        }
        a = a_end + 1;
        b = b_end + 1;
    }
    return edits;
}
