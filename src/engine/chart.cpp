#include "engine/chart.h"

#include "engine/chart_detail.h"
#include "engine/dsc_text.h"
#include "engine/visible.h"
#include "table/dsc_reader.h"
#include "unicode/names.h"

#include <memory>

namespace {

bool is_noncharacter(std::uint32_t code) {
    return (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE;
}

// Characters that change how the text around them is shown, or that a page must not
// hold: they are spelled out, whatever the character data says. (No surrogate comes here:
// visible() spells out the bytes of one, and a cell draws U+FFFD for it.)
bool spelled_out(std::uint32_t code) {
    return (code >= 0x80 && code <= 0x9F) || code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x206F) ||
           code == 0xFEFF || is_noncharacter(code);
}

// The code point at text[at], which visible() left as valid UTF-8 or ASCII, and its length.
std::uint32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return code;
}

} // namespace

std::string safe_text(std::string_view text) {
    const std::string shown = visible(text);
    std::string out;
    for (std::size_t at = 0, length = 0; at < shown.size(); at += length) {
        const std::uint32_t code = decode(shown, at, length);
        if (spelled_out(code)) {
            out += "<U+" + hex_digits(code, 4) + ">";
        } else {
            out.append(shown, at, length);
        }
    }
    return out;
}

std::string cell_glyph(const chart_entry& entry) {
    const std::uint32_t code = entry.code;
    if ((code >= 0xD800 && code <= 0xDFFF) || is_noncharacter(code)) {
        return utf8_of(0xFFFD);
    }
    if (code < 0x20) {
        return utf8_of(0x2400 + code); // the control pictures: SYMBOL FOR NULL ...
    }
    if (code == 0x20) {
        return utf8_of(0x2420);
    }
    if (code == 0x7F) {
        return utf8_of(0x2421);
    }
    if (code == 0xA0) {
        return utf8_of(0x237D); // SHOULDERED OPEN BOX, as code charts draw no-break space
    }
    if (entry.kind == char_class::control || spelled_out(code)) {
        return utf8_of(0x2395); // APL FUNCTIONAL SYMBOL QUAD: something invisible is here
    }
    if (entry.kind == char_class::space) {
        return utf8_of(0x2423); // OPEN BOX
    }
    if (entry.kind == char_class::mark) {
        return utf8_of(0x25CC) + utf8_of(code); // on a dotted circle
    }
    return utf8_of(code);
}

std::vector<unsigned> rows_shown(const chart_table& table, const chart_layout& layout) {
    std::vector<unsigned> rows;
    for (unsigned row = 0; row < 16; ++row) {
        bool used = layout.all_rows;
        for (unsigned column = 0; column < 16 && !used; ++column) {
            const unsigned byte = row * 16 + column;
            used = table.cells[byte] || (table.against_title && table.against[byte]);
        }
        if (used) {
            rows.push_back(row);
        }
    }
    return rows;
}

bool differs(const chart_table& table, unsigned byte) {
    if (!table.against_title) {
        return false;
    }
    const std::optional<chart_entry>& ours = table.cells[byte];
    const std::optional<chart_entry>& theirs = table.against[byte];
    return ours.has_value() != theirs.has_value() || (ours && ours->code != theirs->code);
}

std::string_view class_word(char_class kind) {
    switch (kind) {
    case char_class::letter:
        return "letter";
    case char_class::mark:
        return "mark";
    case char_class::digit:
        return "digit";
    case char_class::punctuation:
        return "punctuation";
    case char_class::symbol:
        return "symbol";
    case char_class::space:
        return "space";
    case char_class::control:
        return "control";
    case char_class::other:
        break;
    }
    return "other";
}

std::string described(const chart_entry& entry) {
    const std::string code = "U+" + hex_digits(entry.code, 4);
    return entry.name.empty() ? code : code + " " + safe_text(entry.name);
}

chart_side chart_cells(const code_table& table, const chart_data& data) {
    chart_side cells;
    for (std::size_t i = 0; i < table.count; ++i) {
        const map_record& record = table.records[i];
        std::optional<chart_entry>& cell = cells[record[0]];
        if (cell) {
            continue;
        }
        chart_entry entry;
        entry.code = code_of(record);
        entry.kind = data.unicode ? class_of(entry.code) : basic_class(entry.code);
        entry.width = data.unicode ? column_width(entry.code) : 1;
        entry.name = data.unicode ? char_name(entry.code) : std::string();
        if (entry.name.empty() && i < data.names.size()) {
            entry.name = data.names[i];
        }
        cell = std::move(entry);
    }
    return cells;
}

std::vector<std::string> dsc_comment_names(std::FILE* file) {
    std::vector<std::string> names;
    auto block = std::make_unique<dsc_block>();
    read_dsc_pieces(file, *block, [&names](std::string_view piece) {
        if (plainly_skipped(piece) || names.size() == MAX_ENTRIES) {
            return;
        }
        const dsc_line parsed = parse_dsc_line(piece);
        if (parsed.kind == line_kind::entry) {
            names.emplace_back(entry_comment(piece, parsed));
        }
    });
    return names;
}

std::optional<std::uint8_t> finding_byte(const finding& found) {
    if (!found.which) {
        return std::nullopt;
    }
    switch (*found.which) {
    case warning_class::truncated_field:
    case warning_class::duplicate_byte:
    case warning_class::duplicate_code:
    case warning_class::surrogate:
    case warning_class::noncharacter:
    case warning_class::name_mismatch:
        break;
    default:
        return std::nullopt;
    }
    // The finding's source is the piece of the entry, without its line end.
    const dsc_line parsed = parse_dsc_line(std::string(found.source) + "\n");
    if (parsed.kind != line_kind::entry) {
        return std::nullopt;
    }
    return parsed.record[0];
}
