#include "engine/mapping_sources.h"

#include "engine/charmap.h"
#include "engine/text_forms.h"
#include "engine/ucm.h"
#include "engine/unicode_mapping.h"

#include <memory>

line_kind kind_of_line(std::string_view text) {
    const std::size_t start = skip_blanks(text, 0);
    const std::string_view rest = text.substr(start);
    if (rest.empty() || rest[0] == '#' || rest[0] == '%') {
        return line_kind::nothing;
    }
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        return line_kind::unicode_table;
    }
    if (rest[0] == '<' || collapse(rest) == "CHARMAP") {
        return line_kind::charmap;
    }
    if (rest.starts_with("//")) {
        return line_kind::dsc;
    }
    // An entry as mapmaker reads one: hexadecimal digits, a comma or a space, maybe more
    // spaces, and a hexadecimal digit.
    std::size_t at = 0;
    while (at < rest.size() && digit_value(rest[at], 16) >= 0) {
        ++at;
    }
    if (at == 0 || at == rest.size() || (rest[at] != ',' && rest[at] != ' ')) {
        return line_kind::unknown;
    }
    at = rest.find_first_not_of(' ', at + 1);
    return at != std::string_view::npos && digit_value(rest[at], 16) >= 0 ? line_kind::dsc
                                                                          : line_kind::unknown;
}

struct mapping_reader::state {
    source_reader reader;
    enum class part : std::uint8_t { start, unicode, declarations, mappings, done };
    part now = part::start;
    charmap_syntax syntax;
    std::uint64_t number = 0;
};

mapping_reader::mapping_reader(std::uint8_t first) : state_(std::make_unique<state>()) {
    state_->reader.first = first;
}

mapping_reader::~mapping_reader() = default;

bool mapping_reader::take(std::string_view text) {
    state& s = *state_;
    source_reader& reader = s.reader;
    const source_line line{text, ++s.number};
    if (s.now == state::part::start) {
        const line_kind kind = kind_of_line(text);
        if (kind == line_kind::nothing) {
            return true;
        }
        if (kind == line_kind::unicode_table) {
            s.now = state::part::unicode;
        } else if (kind == line_kind::charmap) {
            s.now = state::part::declarations;
            reader.result.format = source_format::charmap;
        } else {
            const std::size_t start = skip_blanks(text, 0);
            reader.fail(line, start, skip_word(text, start) - start,
                        "neither a Unicode mapping table (lines such as 0x80 0x0410) nor a "
                        "charmap or ICU .ucm file (<code_set_name>, CHARMAP)");
            return false;
        }
    }
    switch (s.now) {
    case state::part::unicode:
        read_unicode_line(reader, line);
        break;
    case state::part::declarations:
        if (!read_charmap_declaration(reader, line, s.syntax)) {
            s.now = state::part::mappings;
        }
        break;
    case state::part::mappings: {
        const std::size_t start = skip_blanks(text, 0);
        if (start == text.size() || text[start] == s.syntax.comment) {
            break;
        }
        if (collapse(text) == "END CHARMAP") {
            s.now = state::part::done; // what follows, such as WIDTH, is not about bytes
            return false;
        }
        read_charmap_entry(reader, line, start, s.syntax);
        break;
    }
    default:
        return false;
    }
    return !reader.failed();
}

mapping_source mapping_reader::finish() {
    state& s = *state_;
    if (s.now == state::part::start) {
        s.reader.fail_file("no mapping in the file");
    } else if (s.now == state::part::declarations) {
        s.reader.fail_file("the charmap has no CHARMAP line");
    } else if (s.now == state::part::mappings) {
        s.reader.fail_file("the charmap has no END CHARMAP line");
    }
    s.reader.finish();
    return std::move(s.reader.result);
}

mapping_source read_mapping_source(std::string_view text, std::uint8_t first) {
    mapping_reader reader(first);
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!reader.take(line)) {
            break;
        }
    }
    return reader.finish();
}
