#include "engine/dsc_check.h"

#include "engine/dsc_text.h"
#include "engine/fixes.h"
#include "engine/utf8.h"
#include "engine/visible.h"
#include "platform/files.h"
#include "table/dsc_reader.h"
#include "unicode/names.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// --- Where the reading stands --------------------------------------------------------

// mapmaker's count of line pieces, and the line and column as an editor counts them.
struct position {
    std::string_view file;
    std::uint64_t pieces = 0;          // mapmaker's line counter
    std::uint64_t line = 1;            // as an editor counts
    std::uint64_t column_base = 0;     // bytes of the line before the current piece
    std::uint64_t piece_of_line = 0;   // 0 for a line's first piece
    std::uint64_t characters_base = 0; // characters of the line before the current piece
    std::string_view piece;            // the piece being read, line end included
    std::string_view source;           // its text without the line end, for excerpts

    void enter(std::string_view next, bool ends_line) {
        ++pieces;
        piece = next;
        source = piece.substr(0, piece.size() - (ends_line ? 1 : 0));
        if (ends_line && source.ends_with('\r')) {
            source.remove_suffix(1);
        }
    }

    void leave(bool ends_line) {
        if (ends_line) {
            ++line;
            column_base = 0;
            piece_of_line = 0;
            characters_base = 0;
        } else {
            column_base += piece.size();
            characters_base += utf8_characters(piece);
            ++piece_of_line;
        }
    }

    // Whole lines passed over without a look inside.
    void skip_lines(std::uint64_t count) {
        pieces += count;
        line += count;
    }

    // An error at a byte offset of the current piece.
    finding error_at(std::size_t offset, std::size_t span, std::string message) const {
        finding found;
        found.file = file;
        found.message = std::move(message);
        found.line = line;
        found.column = column_base + offset + 1;
        found.span = span;
        found.source = source;
        found.source_column = column_base + 1;
        found.source_characters = characters_base;
        found.mapmaker_line = pieces;
        return found;
    }

    finding warning_at(warning_class which, std::size_t offset, std::size_t span,
                       std::string message) const {
        finding found = error_at(offset, span, std::move(message));
        found.level = severity::warning;
        found.which = which;
        return found;
    }

    std::string_view text(std::size_t start, std::size_t end) const {
        return piece.substr(start, end - start);
    }
};

// Where an entry stands.
struct place {
    std::uint64_t line = 0;
    std::uint64_t byte_column = 0;
    std::uint64_t code_column = 0;
    std::uint8_t byte = 0;
    std::uint8_t byte_span = 0; // the fields' widths, less than a line piece
    std::uint8_t code_span = 0;
};

// The entries read so far, for the rules that compare an entry with those before it.
struct table_state {
    code_table table;
    std::uint64_t entries = 0; // valid data lines, also beyond the table's limit
    std::vector<place> places = std::vector<place>(MAX_ENTRIES);
    // The entry that first lists a byte or a code, counted from 1; 0 for none.
    std::vector<std::uint16_t> byte_first = std::vector<std::uint16_t>(256);
    std::vector<std::uint16_t> code_first = std::vector<std::uint16_t>(65536);
};

using findings = std::vector<finding>;

// --- Rules about how a piece is read ---------------------------------------------------

findings piece_rules(const position& at, const piece_facts& facts, bool& cr_explained) {
    findings found;
    if (at.piece_of_line == 1) {
        found.push_back(at.warning_at(warning_class::long_line, 0, 1,
                                      "the line has 254 characters or more: mapmaker reads it in "
                                      "pieces, and from column " +
                                          std::to_string(at.column_base + 1) +
                                          " on as another line"));
    }
    if (facts.lone_cr != std::string_view::npos) {
        finding cr = at.warning_at(warning_class::lone_cr, facts.lone_cr, 1,
                                   "a CR without an LF after it ends the text: mapmaker ignores "
                                   "the rest of the line");
        if (!cr_explained) {
            cr_explained = true;
            cr.note("mapmaker ends lines only at LF or CR LF: old Mac line ends (CR alone) must "
                    "be converted");
        }
        found.push_back(std::move(cr));
    }
    if (facts.nul != std::string_view::npos) {
        found.push_back(at.warning_at(warning_class::nul, facts.nul, 1,
                                      "a NUL byte ends the text: mapmaker ignores the rest of the "
                                      "line"));
    }
    return found;
}

// --- A malformed line ----------------------------------------------------------------

// A fix of one edit at bytes [offset, offset + length) of the current piece.
void fix_at(finding& found, const position& at, std::string description, bool safe,
            std::size_t offset, std::size_t length, std::string text) {
    found.add_fix(std::move(description), safe, at.column_base + offset + 1, length,
                  std::move(text));
}

// Notes on the likely cause of a field that is no number, and the repair when it is
// certain. The field starts at byte `start` of the piece.
void explain(finding& found, const position& at, std::string_view text, std::size_t start,
             std::string_view what) {
    const auto rest_is_number = [&](std::size_t prefix) {
        return text.size() > prefix && is_hex_field(text.substr(prefix));
    };
    const auto drop_prefix = [&](std::string_view prefix) {
        const std::string digits(text.substr(2));
        found.note("write the " + std::string(what) + " as " + digits + ", without " +
                   std::string(prefix));
        fix_at(found, at, "delete " + std::string(prefix), true, start, text.size(), digits);
    };
    if (at.column_base == 0 && text.starts_with("\xEF\xBB\xBF")) {
        // Further down, the start of another file joined to this one.
        found.note(at.line == 1
                       ? "the file starts with a UTF-8 byte order mark: save it without one"
                       : "the line starts with a UTF-8 byte order mark, as where files "
                         "were joined: delete it");
        fix_at(found, at, "delete the byte order mark", true, start, 3, "");
    } else if ((text.starts_with("0x") || text.starts_with("0X")) && rest_is_number(2)) {
        drop_prefix(text.substr(0, 2));
    } else if ((text.starts_with("U+") || text.starts_with("u+")) && rest_is_number(2)) {
        drop_prefix(text.substr(0, 2));
    } else if (text.find('\t') != std::string_view::npos) {
        found.note("a tab is not skipped as a space is: use spaces");
        std::string spaced(text);
        std::replace(spaced.begin(), spaced.end(), '\t', ' ');
        fix_at(found, at, "replace the tab with a space", true, start, text.size(), spaced);
    } else if (text.starts_with('/')) {
        found.note("a comment starts with '//'");
    }
}

// Whether only spaces and a comment follow byte `from` of a line's text.
bool ends_entry(std::string_view text, std::size_t from) {
    const std::string_view rest = trim_spaces(text.substr(from));
    return rest.empty() || rest.starts_with("//");
}

// The hints for slips a new hand makes: a field that would be an entry with one
// character changed, added or taken away. Only a trailing comma has a certain repair.
void hint(finding& found, const position& at, const dsc_line& parsed, std::string_view text,
          std::size_t start) {
    if (!found.fixes.empty()) {
        return;
    }
    const std::size_t semicolon = text.find(';');
    std::string zeros(text);
    std::replace(zeros.begin(), zeros.end(), 'O', '0');
    std::replace(zeros.begin(), zeros.end(), 'o', '0');
    // (An empty text is a hexadecimal field here: "88;" passes.)
    if (semicolon != std::string_view::npos && semicolon > 0 &&
        is_hex_field(text.substr(0, semicolon)) && is_hex_field(text.substr(semicolon + 1))) {
        found.note("is ';' meant as ','? fields are separated by ',' or spaces");
        fix_at(found, at, "replace ';' with ','", false, start + semicolon, 1, ",");
    } else if (zeros != text && is_hex_field(zeros)) {
        found.note("the letter O is no digit: is " + zeros + " meant?");
        fix_at(found, at, "write " + zeros, false, start, text.size(), zeros);
    } else if (text.size() > 1 && text.ends_with(',') &&
               is_hex_field(text.substr(0, text.size() - 1)) &&
               ends_entry(at.piece.substr(0, parsed.text_end), start + text.size())) {
        found.note("nothing follows the ',' after the code: delete it");
        fix_at(found, at, "delete the ','", true, start + text.size() - 1, 1, "");
    } else if (parsed.fault != line_fault::second_field_bad && text.size() >= 5 &&
               text.size() <= 6 && is_hex_field(text)) {
        const std::string byte(text.substr(0, 2));
        found.note("is a comma missing after " + byte + "?");
        fix_at(found, at, "insert ', ' after " + byte, false, start + 2, 0, ", ");
    }
}

finding fault_rule(const position& at, const dsc_line& parsed) {
    const std::string_view first = at.text(parsed.first_start, parsed.first_end);
    const std::string_view second = at.text(parsed.second_start, parsed.second_end);
    finding found;
    switch (parsed.fault) {
    case line_fault::no_separator:
        if (at.piece.substr(0, parsed.text_end).find_first_not_of(' ') == std::string_view::npos) {
            found = at.error_at(0, parsed.text_end, "a line of spaces only is not an empty line");
            found.kind = error_kind::spaces_only;
            found.note("delete the spaces");
            fix_at(found, at, "delete the spaces", true, 0, parsed.text_end, "");
            return found;
        }
        found = at.error_at(parsed.first_start, first.size(),
                            "no ',' or space after the first field '" + visible(first) +
                                "': the line has no second field");
        found.kind = error_kind::no_separator;
        break;
    case line_fault::first_field_empty:
        found = at.error_at(parsed.first_start, 1, "the first field is empty");
        found.kind = error_kind::first_field_empty;
        break;
    case line_fault::first_field_bad:
        found = at.error_at(parsed.first_start, first.size(),
                            "the first field '" + visible(first) + "' is not a hexadecimal number");
        found.kind = error_kind::first_field_bad;
        break;
    case line_fault::second_field_empty:
        found = at.error_at(parsed.second_start, 1, "the second field is empty");
        found.kind = error_kind::second_field_empty;
        break;
    case line_fault::second_field_bad:
        found =
            at.error_at(parsed.second_start, second.size(),
                        "the second field '" + visible(second) + "' is not a hexadecimal number");
        found.kind = error_kind::second_field_bad;
        break;
    }
    const bool in_first = parsed.fault != line_fault::second_field_bad;
    const std::string_view field = in_first ? first : second;
    const std::size_t field_start = in_first ? parsed.first_start : parsed.second_start;
    explain(found, at, field, field_start, in_first ? "byte" : "code");
    if (parsed.fault == line_fault::second_field_bad && at.piece[parsed.first_end] == ' ' &&
        second.starts_with(',')) {
        found.note("a space ends the first field, so the ',' starts the second: delete the "
                   "space before the comma");
        fix_at(found, at, "delete the spaces before the ','", true, parsed.first_end,
               parsed.second_start - parsed.first_end, "");
    }
    // A second field that is empty gives the hints about the first: "880418 // ...".
    hint(found, at, parsed, field, field_start);
    return found;
}

// --- Rules about an entry ------------------------------------------------------------

std::string_view without_leading_zeros(std::string_view field) {
    const std::size_t first = field.find_first_not_of('0');
    return first == std::string_view::npos ? field.substr(field.size() - 1) : field.substr(first);
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}

std::string named(std::uint32_t code) {
    const std::string name = char_name(code);
    return "U+" + hex_digits(code, 4) + (name.empty() ? "" : " " + name);
}

void truncation_rule(findings& found, const position& at, const dsc_line& parsed, std::uint8_t byte,
                     std::uint32_t code) {
    const std::string_view first = at.text(parsed.first_start, parsed.first_end);
    const std::string_view second = at.text(parsed.second_start, parsed.second_end);
    if (without_leading_zeros(first).size() > 2) {
        finding wide = at.warning_at(
            warning_class::truncated_field, parsed.first_start, first.size(),
            "source code '" + std::string(first) + "' has more digits than a byte: it is read as " +
                hex_digits(byte, 2));
        if (without_leading_zeros(second).size() <= 2) {
            wide.note("are the fields swapped? the byte comes first, then the UNICODE code");
        }
        found.push_back(std::move(wide));
    }
    if (without_leading_zeros(second).size() > 4) {
        found.push_back(at.warning_at(
            warning_class::truncated_field, parsed.second_start, second.size(),
            "UNICODE code '" + std::string(second) +
                "' has more digits than 16 bits: it is read as " + hex_digits(code, 4)));
    }
}

void repeat_rule(findings& found, const position& at, const dsc_line& parsed, table_state& state,
                 std::uint8_t byte, std::uint32_t code) {
    const auto number = static_cast<std::uint16_t>(state.table.count);
    state.places[number - 1] = {at.line,
                                at.column_base + parsed.first_start + 1,
                                at.column_base + parsed.second_start + 1,
                                byte,
                                static_cast<std::uint8_t>(parsed.first_end - parsed.first_start),
                                static_cast<std::uint8_t>(parsed.second_end - parsed.second_start)};
    if (state.byte_first[byte] == 0) {
        state.byte_first[byte] = number;
    } else {
        const place& first = state.places[state.byte_first[byte] - 1];
        finding again = at.warning_at(warning_class::duplicate_byte, parsed.first_start,
                                      parsed.first_end - parsed.first_start,
                                      "source code " + hex_digits(byte, 2) + " is listed again");
        again.notes.push_back(
            {"first listed here", first.line, first.byte_column, first.byte_span});
        found.push_back(std::move(again));
    }
    if (state.code_first[code] == 0) {
        state.code_first[code] = number;
    } else if (const place& first = state.places[state.code_first[code] - 1]; first.byte != byte) {
        finding again = at.warning_at(warning_class::duplicate_code, parsed.second_start,
                                      parsed.second_end - parsed.second_start,
                                      "UNICODE code " + hex_digits(code, 4) +
                                          " is listed again, for byte " + hex_digits(byte, 2));
        again.notes.push_back({"first listed here, for byte " + hex_digits(first.byte, 2),
                               first.line, first.code_column, first.code_span});
        found.push_back(std::move(again));
    }
}

void code_rule(findings& found, const position& at, const dsc_line& parsed, std::uint32_t code) {
    const std::size_t span = parsed.second_end - parsed.second_start;
    if (code >= 0xD800 && code <= 0xDFFF) {
        found.push_back(at.warning_at(warning_class::surrogate, parsed.second_start, span,
                                      "UNICODE code " + hex_digits(code, 4) +
                                          " is a surrogate, not a character"));
    } else if ((code >= 0xFDD0 && code <= 0xFDEF) || code >= 0xFFFE) {
        found.push_back(
            at.warning_at(warning_class::noncharacter, parsed.second_start, span,
                          "UNICODE code " + hex_digits(code, 4) + " is a noncharacter"));
    }
}

// The name in a comment written in one of the usual ways: "NAME", "U+0410 NAME",
// "NAME (qualifier)", "NAME.".
std::string_view name_in(std::string_view comment) {
    if (comment.starts_with("U+") || comment.starts_with("u+")) {
        const std::size_t digits = comment.find_first_not_of("0123456789ABCDEFabcdef", 2);
        if (digits != std::string_view::npos && digits > 2 && comment[digits] == ' ') {
            comment = trim_spaces(comment.substr(digits));
        }
    }
    if (comment.ends_with('.')) {
        comment.remove_suffix(1);
    }
    if (comment.ends_with(')')) {
        const std::size_t open = comment.rfind('(');
        if (open != std::string_view::npos && open > 0 && comment[open - 1] == ' ') {
            comment = trim_spaces(comment.substr(0, open));
        }
    }
    return comment;
}

// The character a comment consists of, when it is one character beyond ASCII (a single
// ASCII letter is as likely a note as the character); up to U+FFFF, as a map holds.
std::optional<std::uint32_t> lone_character(std::string_view comment) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(comment[i]); };
    const auto follows = [&](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
    if (comment.size() == 2 && byte(0) >= 0xC2 && byte(0) <= 0xDF && follows(1)) {
        return (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
    }
    if (comment.size() == 3 && (byte(0) & 0xF0) == 0xE0 && follows(1) && follows(2)) {
        const std::uint32_t code =
            (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
        if (code >= 0x800 && (code < 0xD800 || code > 0xDFFF)) {
            return code;
        }
    }
    return std::nullopt;
}

// The trailer of an entry, when it is a character's name or the character itself, must
// name the entry's code.
void name_rule(findings& found, const position& at, const dsc_line& parsed, std::uint32_t code) {
    if (!names_available()) {
        return;
    }
    const std::string_view comment = entry_comment(at.piece, parsed);
    const std::string_view name = name_in(comment);
    // Most comments name their own code; a search of all names is far slower.
    if (same_ignoring_case(name, char_name(code))) {
        return;
    }
    std::string_view said = name;
    std::optional<std::uint32_t> named_code = lone_character(comment);
    const bool lone = named_code.has_value();
    if (lone) {
        said = comment;
    } else {
        named_code = char_from_name(name);
    }
    if (!named_code || *named_code == code) {
        return;
    }
    const auto offset = static_cast<std::size_t>(said.data() - at.piece.data());
    finding mismatch = at.warning_at(warning_class::name_mismatch, offset, said.size(),
                                     "the comment names " + named(*named_code) +
                                         ", but the code is " + named(code));
    // Either the comment or the code is wrong: two alternatives, neither certain.
    const std::string own_name = char_name(code);
    if (!own_name.empty() && !own_name.starts_with('<')) { // not a control or a noncharacter
        fix_at(mismatch, at, "name the code's character: " + own_name, false, offset, said.size(),
               lone ? utf8_of(code) : own_name);
    }
    const std::string digits = hex_digits(*named_code, 4);
    fix_at(mismatch, at, "use the named character's code: " + digits, false, parsed.second_start,
           parsed.second_end - parsed.second_start, digits);
    found.push_back(std::move(mismatch));
}

void ascii_rule(findings& found, const position& at, const dsc_line& parsed, std::uint8_t byte,
                std::uint32_t code) {
    if (byte < 0x80 && code != byte) {
        found.push_back(at.warning_at(
            warning_class::ascii, parsed.first_start, parsed.first_end - parsed.first_start,
            "byte " + hex_digits(byte, 2) + " lies in ASCII but maps to " + hex_digits(code, 4) +
                ", not " + hex_digits(byte, 4)));
    }
}

findings entry_rules(const position& at, const dsc_line& parsed, table_state& state) {
    findings found;
    ++state.entries;
    if (state.entries > MAX_ENTRIES) {
        if (state.entries == MAX_ENTRIES + 1) {
            finding many = at.error_at(parsed.first_start, 1, "a table holds at most 256 entries");
            many.kind = error_kind::too_many_entries;
            found.push_back(std::move(many));
        }
        return found; // entries beyond are not in the table
    }
    state.table.records[state.table.count++] = parsed.record;
    const std::uint8_t byte = parsed.record[0];
    const std::uint32_t code = code_of(parsed.record);
    truncation_rule(found, at, parsed, byte, code);
    repeat_rule(found, at, parsed, state, byte, code);
    code_rule(found, at, parsed, code);
    name_rule(found, at, parsed, code);
    ascii_rule(found, at, parsed, byte, code);
    return found;
}

// --- Rules about the whole file ------------------------------------------------------

std::optional<finding> unmapped_rule(const table_state& state, std::string_view file) {
    std::string list;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        if (state.byte_first[byte] != 0) {
            continue;
        }
        unsigned last = byte;
        while (last < 0xFF && state.byte_first[last + 1] == 0) {
            ++last;
        }
        list += (list.empty() ? "" : ", ") + hex_digits(byte, 2);
        if (last > byte) {
            list += '-' + hex_digits(last, 2);
        }
        byte = last;
    }
    if (list.empty()) {
        return std::nullopt;
    }
    finding found = file_warning(file, "bytes 80-FF that no entry lists: " + list);
    found.which = warning_class::unmapped;
    return found;
}

// Whether anything but line ends and Ctrl-Z follows the Ctrl-Z that ended the text.
bool text_follows(std::string_view bytes) {
    return bytes.find_first_not_of("\r\n\x1a") != std::string_view::npos;
}

std::optional<finding> ctrl_z_rule(const position& at, const dsc_block& block, dsc_input& in) {
    bool found = text_follows(bytes_after_ctrl_z(block));
    char rest[4096];
    for (std::size_t got = 0; !found && (got = read_input(in, rest, sizeof rest)) > 0;) {
        found = text_follows({rest, got});
    }
    if (!found) {
        return std::nullopt;
    }
    finding warning = file_warning(at.file, "text after a Ctrl-Z byte is never read");
    warning.which = warning_class::ctrl_z;
    warning.line = at.line;
    warning.column = at.column_base + 1;
    warning.mapmaker_line = at.pieces;
    warning.note("mapmaker ends the file at the first Ctrl-Z");
    return warning;
}

// --- Reading ---------------------------------------------------------------------------

// Most lines of a large file are whole comment or empty lines: nothing in them can be a
// finding but a CR that hides text (one before the line end's). Hand-edited tables indent
// some comments; such a line is passed over only without a NUL, which the full reading
// would warn about.
inline bool plainly_skipped_whole_line(std::string_view piece, piece_marks marks) {
    if (!piece.ends_with('\n') || marks.lone_cr) {
        return false;
    }
    if (piece[0] == '\n' || piece == "\r\n") {
        return true;
    }
    std::size_t start = 0;
    while (piece[start] == ' ') { // the LF ends this
        ++start;
    }
    return piece[start] == '/' && piece[start + 1] == '/' && piece.size() > start + 2 &&
           (start == 0 || !marks.nul_in_block || piece.find('\0') == std::string_view::npos);
}

// Notepad's "Unicode": a byte order mark, or text that begins with two ASCII characters
// each beside a NUL. mapmaker reads such a file as bytes, which gives a NUL warning a line
// and errors that never say why.
bool looks_like_utf16(std::string_view start) {
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
        return true;
    }
    const auto ascii = [](char c) { return c >= ' ' && c <= '~'; };
    return start.size() >= 4 &&
           ((ascii(start[0]) && start[1] == '\0' && ascii(start[2]) && start[3] == '\0') ||
            (start[0] == '\0' && ascii(start[1]) && start[2] == '\0' && ascii(start[3])));
}

class checker {
  public:
    checker(std::string_view file, diagnostics& report, const dsc_block& block,
            std::optional<fix_choice> fixing)
        : report_(report), block_(block), fixing_(fixing) {
        at_.file = file;
    }

    // Plain whole lines the reading loop counted rather than handed on: those that take
    // passes over too.
    void pass(std::uint64_t lines) { at_.skip_lines(lines); }

    // The quick path for the most common lines, inline in the reading loop.
    void take(std::string_view piece, piece_marks marks) {
        if (at_.column_base == 0 && plainly_skipped_whole_line(piece, marks)) {
            at_.skip_lines(1);
        } else {
            read(piece);
        }
    }

    void finish(dsc_text_end end, int read_error, const dsc_block& block, dsc_input& in) {
        if (utf16_) {
            finding utf16 =
                file_error(at_.file, "the file is UTF-16 text: save it as UTF-8 or ASCII");
            utf16.kind = error_kind::utf16;
            emit(std::move(utf16));
            return;
        }
        if (end == dsc_text_end::read_error) {
            emit(file_error(at_.file,
                            "cannot read the file" +
                                (read_error != 0 ? ": " + error_text(read_error) : std::string())));
            return;
        }
        if (end == dsc_text_end::ctrl_z) {
            emit(ctrl_z_rule(at_, block, in));
        }
        if (state_.entries == 0) {
            finding none = file_error(at_.file, "no entry: a table needs at least one");
            none.mapmaker_line = at_.pieces;
            none.kind = error_kind::no_entry;
            emit(std::move(none));
        } else {
            emit(unmapped_rule(state_, at_.file));
        }
    }

    dsc_check result() && { return {state_.table, failed_, changed_}; }

  private:
    // Everything else, out of line, so that the reading loop stays small.
    [[gnu::noinline]] void read(std::string_view piece) {
        // The first piece of a UTF-16 file never takes the quick path (it starts with a
        // byte order mark or a NUL), so the test costs the reading loop nothing.
        if (utf16_) {
            return;
        }
        if (at_.pieces == 0 && looks_like_utf16({block_.bytes.data(), block_.size})) {
            utf16_ = true;
            return;
        }
        // With fixing, what is checked is the line as fixed.
        std::string fixed;
        if (fixing_ && whole_line(piece, at_.column_base == 0)) {
            fixed = fixed_line(piece, *fixing_);
            if (fixed != piece) {
                changed_ = true;
                piece = fixed;
            }
        }
        const piece_facts facts = facts_of(piece);
        at_.enter(piece, facts.ends_line);
        emit(piece_rules(at_, facts, cr_explained_));
        const dsc_line parsed = parse_dsc_line(piece);
        if (parsed.kind == line_kind::fault) {
            emit(fault_rule(at_, parsed));
        } else if (parsed.kind == line_kind::entry) {
            emit(entry_rules(at_, parsed, state_));
        }
        at_.leave(facts.ends_line);
    }

    void emit(finding found) {
        if (found.line != 0 && found.mapmaker_line && *found.mapmaker_line != found.line) {
            found.note("mapmaker counts this as line " + std::to_string(*found.mapmaker_line));
        }
        const std::uint64_t errors_before = report_.counts().errors;
        report_.report(std::move(found));
        failed_ |= report_.counts().errors != errors_before;
    }
    void emit(std::optional<finding> found) {
        if (found) {
            emit(std::move(*found));
        }
    }
    void emit(findings found) {
        for (finding& each : found) {
            emit(std::move(each));
        }
    }

    diagnostics& report_;
    const dsc_block& block_; // the block being read
    position at_;
    table_state state_;
    bool cr_explained_ = false;
    bool failed_ = false;
    bool utf16_ = false; // the file is UTF-16 text, whose pieces are passed over
    std::optional<fix_choice> fixing_;
    bool changed_ = false;
};

} // namespace

std::vector<finding> line_findings(std::string_view piece, bool names) {
    position at;
    const piece_facts facts = facts_of(piece);
    at.enter(piece, facts.ends_line);
    const dsc_line parsed = parse_dsc_line(piece);
    findings found;
    if (parsed.kind == line_kind::fault) {
        found.push_back(fault_rule(at, parsed));
    } else if (parsed.kind == line_kind::entry && names) {
        name_rule(found, at, parsed, code_of(parsed.record));
    }
    return found;
}

namespace {

dsc_check check_input(dsc_input& in, std::string_view name, diagnostics& report,
                      std::optional<fix_choice> fixing) {
    report.count_file();
    dsc_block block;
    checker check(name, report, block, fixing);
    errno = 0;
    const dsc_text_end end = read_dsc_pieces(
        in, block, [&](std::string_view piece, piece_marks marks) { check.take(piece, marks); },
        [&](std::uint64_t lines) { check.pass(lines); });
    check.finish(end, errno, block, in);
    return std::move(check).result();
}

} // namespace

dsc_check check_dsc(std::FILE* file, std::string_view name, diagnostics& report,
                    std::optional<fix_choice> fixing) {
    dsc_input in{file, {}};
    return check_input(in, name, report, fixing);
}

dsc_check check_dsc_text(std::string_view text, std::string_view name, diagnostics& report,
                         std::optional<fix_choice> fixing) {
    dsc_input in{nullptr, text};
    return check_input(in, name, report, fixing);
}
