#include "maptool/dsc_check.h"

#include "maptool/common.h"

#include "table/dsc_reader.h"
#include "unicode/names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t MAX_SHOWN = MAX_ENTRIES; // entries beyond are not in the table

std::string_view without_leading_zeros(std::string_view field) {
    const std::size_t first = field.find_first_not_of('0');
    return first == std::string_view::npos ? field.substr(field.size() - 1) : field.substr(first);
}

std::string_view trim_spaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
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

// Where an entry stands.
struct place {
    std::uint64_t line = 0;
    std::uint64_t byte_column = 0;
    std::uint64_t code_column = 0;
    std::uint8_t byte = 0;
};

struct checker {
    diagnostic_printer& printer;
    std::string_view name;
    dsc_check result{};
    std::uint64_t pieces = 0;      // mapmaker's line counter
    std::uint64_t line = 1;        // as an editor counts
    std::uint64_t column_base = 0; // bytes of the line before the current piece
    std::uint64_t entries = 0;     // valid data lines, also beyond the table's limit
    bool long_line_told = false;
    bool old_mac_told = false;
    std::vector<place> places = std::vector<place>(MAX_ENTRIES); // of the table's entries
    // The entry that first lists a byte or a code, counted from 1; 0 for none.
    std::vector<std::uint16_t> byte_first = std::vector<std::uint16_t>(256);
    std::vector<std::uint16_t> code_first = std::vector<std::uint16_t>(65536);
    std::string_view piece{};  // the piece being read
    std::string_view source{}; // its text without the line end, for excerpts

    // A finding at a byte offset of the current piece.
    finding at(std::size_t offset, std::size_t span, std::string message) const {
        finding found;
        found.message = std::move(message);
        found.line = line;
        found.column = column_base + offset + 1;
        found.span = span;
        found.source = source;
        found.source_column = column_base + 1;
        found.mapmaker_line = pieces;
        return found;
    }

    void emit(finding found) {
        if (found.line != 0 && found.mapmaker_line && *found.mapmaker_line != found.line) {
            found.notes.push_back(
                {"mapmaker counts this as line " + std::to_string(*found.mapmaker_line)});
        }
        const std::uint64_t errors_before = printer.errors;
        report(printer, name, std::move(found));
        result.failed |= printer.errors != errors_before;
    }

    void warn(warning_class which, finding found) {
        found.error = false;
        found.which = which;
        emit(std::move(found));
    }

    void take(std::string_view next) {
        ++pieces;
        piece = next;
        const piece_facts facts = facts_of(piece);
        source = piece.substr(0, piece.size() - (facts.ends_line ? 1 : 0));
        if (source.ends_with('\r') && facts.ends_line) {
            source.remove_suffix(1);
        }
        if (column_base > 0 && !long_line_told) {
            long_line_told = true;
            warn(warning_class::long_line,
                 at(0, 1,
                    "the line has 254 characters or more: mapmaker reads it in pieces, and from "
                    "column " +
                        std::to_string(column_base + 1) + " on as another line"));
        }
        if (facts.lone_cr != std::string_view::npos) {
            finding found = at(facts.lone_cr, 1,
                               "a CR without an LF after it ends the text: mapmaker ignores the "
                               "rest of the line");
            if (!old_mac_told) {
                old_mac_told = true;
                found.notes.push_back({"mapmaker ends lines only at LF or CR LF: old Mac line "
                                       "ends (CR alone) must be converted"});
            }
            warn(warning_class::lone_cr, std::move(found));
        }
        if (facts.nul != std::string_view::npos) {
            warn(warning_class::nul,
                 at(facts.nul, 1,
                    "a NUL byte ends the text: mapmaker ignores the rest of the line"));
        }
        const dsc_line parsed = parse_dsc_line(piece);
        if (parsed.kind == line_kind::fault) {
            fault(parsed);
        } else if (parsed.kind == line_kind::entry) {
            entry(parsed);
        }
        if (facts.ends_line) {
            ++line;
            column_base = 0;
            long_line_told = false;
        } else {
            column_base += piece.size();
        }
    }

    std::string field(std::size_t start, std::size_t end) const {
        return visible(piece.substr(start, end - start));
    }

    void fault(const dsc_line& parsed) {
        const std::string_view first =
            piece.substr(parsed.first_start, parsed.first_end - parsed.first_start);
        const std::string_view second =
            piece.substr(parsed.second_start, parsed.second_end - parsed.second_start);
        finding found;
        switch (parsed.fault) {
        case line_fault::no_separator:
            if (piece.substr(0, parsed.text_end).find_first_not_of(' ') == std::string_view::npos) {
                found = at(0, parsed.text_end, "a line of spaces only is not an empty line");
                found.notes.push_back({"delete the spaces"});
            } else {
                found = at(parsed.first_start, first.size(),
                           "no ',' or space after the first field '" + visible(first) +
                               "': the line has no second field");
            }
            break;
        case line_fault::first_field_empty:
            found = at(parsed.first_start, 1, "the first field is empty");
            break;
        case line_fault::first_field_bad:
            found = at(parsed.first_start, first.size(),
                       "the first field '" + visible(first) + "' is not a hexadecimal number");
            break;
        case line_fault::second_field_empty:
            found = at(parsed.second_start, 1, "the second field is empty");
            break;
        case line_fault::second_field_bad:
            found = at(parsed.second_start, second.size(),
                       "the second field '" + visible(second) + "' is not a hexadecimal number");
            break;
        }
        const bool in_first = parsed.fault != line_fault::second_field_bad;
        explain(found, in_first ? first : second, in_first ? "byte" : "code");
        if (parsed.fault == line_fault::second_field_bad && piece[parsed.first_end] == ' ' &&
            second.starts_with(',')) {
            found.notes.push_back({"a space ends the first field, so the ',' starts the second: "
                                   "delete the space before the comma"});
        }
        emit(std::move(found));
    }

    // Notes on the likely cause of a field that is no number.
    void explain(finding& found, std::string_view text, std::string_view what) const {
        const auto rest_is_number = [&](std::size_t prefix) {
            return text.size() > prefix && is_hex_field(text.substr(prefix));
        };
        if (line == 1 && column_base == 0 && text.starts_with("\xEF\xBB\xBF")) {
            found.notes.push_back({"the file starts with a UTF-8 byte order mark: save it "
                                   "without one"});
        } else if ((text.starts_with("0x") || text.starts_with("0X")) && rest_is_number(2)) {
            found.notes.push_back({"write the " + std::string(what) + " as " +
                                   std::string(text.substr(2)) + ", without 0x"});
        } else if ((text.starts_with("U+") || text.starts_with("u+")) && rest_is_number(2)) {
            found.notes.push_back({"write the " + std::string(what) + " as " +
                                   std::string(text.substr(2)) + ", without U+"});
        } else if (text.find('\t') != std::string_view::npos) {
            found.notes.push_back({"a tab is not skipped as a space is: use spaces"});
        } else if (text.starts_with('/')) {
            found.notes.push_back({"a comment starts with '//'"});
        }
    }

    void entry(const dsc_line& parsed) {
        ++entries;
        if (entries > MAX_SHOWN) {
            if (entries == MAX_SHOWN + 1) {
                emit(at(parsed.first_start, 1, "a table holds at most 256 entries"));
            }
            return;
        }
        result.table.records[result.table.count++] = parsed.record;
        const std::uint8_t byte = parsed.record[0];
        const auto code = static_cast<std::uint32_t>(parsed.record[1] << 8 | parsed.record[2]);
        const std::string_view first =
            piece.substr(parsed.first_start, parsed.first_end - parsed.first_start);
        const std::string_view second =
            piece.substr(parsed.second_start, parsed.second_end - parsed.second_start);
        const bool byte_truncated = without_leading_zeros(first).size() > 2;
        if (byte_truncated) {
            finding found =
                at(parsed.first_start, first.size(),
                   "source code '" + std::string(first) +
                       "' has more digits than a byte: it is read as " + hex_digits(byte, 2));
            if (without_leading_zeros(second).size() <= 2) {
                found.notes.push_back({"are the fields swapped? the byte comes first, then the "
                                       "UNICODE code"});
            }
            warn(warning_class::truncated_field, std::move(found));
        }
        if (without_leading_zeros(second).size() > 4) {
            warn(warning_class::truncated_field,
                 at(parsed.second_start, second.size(),
                    "UNICODE code '" + std::string(second) +
                        "' has more digits than 16 bits: it is read as " + hex_digits(code, 4)));
        }
        check_repeats(parsed, byte, code);
        if (code >= 0xD800 && code <= 0xDFFF) {
            warn(warning_class::surrogate,
                 at(parsed.second_start, second.size(),
                    "UNICODE code " + hex_digits(code, 4) + " is a surrogate, not a character"));
        } else if ((code >= 0xFDD0 && code <= 0xFDEF) || code >= 0xFFFE) {
            warn(warning_class::noncharacter,
                 at(parsed.second_start, second.size(),
                    "UNICODE code " + hex_digits(code, 4) + " is a noncharacter"));
        }
        check_name(parsed, code);
        if (byte < 0x80 && code != byte) {
            warn(warning_class::ascii,
                 at(parsed.first_start, first.size(),
                    "byte " + hex_digits(byte, 2) + " lies in ASCII but maps to " +
                        hex_digits(code, 4) + ", not " + hex_digits(byte, 4)));
        }
    }

    void check_repeats(const dsc_line& parsed, std::uint8_t byte, std::uint32_t code) {
        const auto number = static_cast<std::uint16_t>(result.table.count);
        places[number - 1] = {line, column_base + parsed.first_start + 1,
                              column_base + parsed.second_start + 1, byte};
        if (byte_first[byte] == 0) {
            byte_first[byte] = number;
        } else {
            const place& first = places[byte_first[byte] - 1];
            finding found = at(parsed.first_start, parsed.first_end - parsed.first_start,
                               "source code " + hex_digits(byte, 2) + " is listed again");
            found.notes.push_back({"first listed here", first.line, first.byte_column});
            warn(warning_class::duplicate_byte, std::move(found));
        }
        if (code_first[code] == 0) {
            code_first[code] = number;
        } else if (const place& first = places[code_first[code] - 1]; first.byte != byte) {
            finding found = at(parsed.second_start, parsed.second_end - parsed.second_start,
                               "UNICODE code " + hex_digits(code, 4) +
                                   " is listed again, for byte " + hex_digits(byte, 2));
            found.notes.push_back({"first listed here, for byte " + hex_digits(first.byte, 2),
                                   first.line, first.code_column});
            warn(warning_class::duplicate_code, std::move(found));
        }
    }

    // The trailer of an entry, when it is a character's name, must name the entry's code.
    void check_name(const dsc_line& parsed, std::uint32_t code) {
        if (!names_available()) {
            return;
        }
        std::string_view comment =
            piece.substr(parsed.second_end, parsed.text_end - parsed.second_end);
        comment = trim_spaces(comment);
        if (comment.starts_with("//")) {
            comment = trim_spaces(comment.substr(2));
        }
        // Most comments name their own code; a search of all names is far slower.
        if (same_ignoring_case(comment, char_name(code))) {
            return;
        }
        const std::optional<std::uint32_t> named_code = char_from_name(comment);
        if (!named_code || *named_code == code) {
            return;
        }
        const std::size_t offset = static_cast<std::size_t>(comment.data() - piece.data());
        warn(warning_class::name_mismatch,
             at(offset, comment.size(),
                "the comment names " + named(*named_code) + ", but the code is " + named(code)));
    }

    // Whether anything but line ends and Ctrl-Z follows the Ctrl-Z that ended the text.
    static bool text_follows(std::string_view bytes) {
        return bytes.find_first_not_of("\r\n\x1a") != std::string_view::npos;
    }

    void after_ctrl_z(const dsc_block& block, std::FILE* file) {
        bool found = text_follows(bytes_after_ctrl_z(block));
        char rest[4096];
        for (std::size_t got = 0; !found && (got = std::fread(rest, 1, sizeof rest, file)) > 0;) {
            found = text_follows({rest, got});
        }
        if (found) {
            finding warning;
            warning.message = "text after a Ctrl-Z byte is never read";
            warning.line = line;
            warning.column = column_base + 1;
            warning.mapmaker_line = pieces;
            warning.notes.push_back({"mapmaker ends the file at the first Ctrl-Z"});
            warn(warning_class::ctrl_z, std::move(warning));
        }
    }

    void whole_file_error(std::string message, std::optional<std::uint64_t> mapmaker_line) {
        finding found;
        found.message = std::move(message);
        found.mapmaker_line = mapmaker_line;
        emit(std::move(found));
    }

    void unmapped() {
        std::string list;
        for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
            if (byte_first[byte] != 0) {
                continue;
            }
            unsigned last = byte;
            while (last < 0xFF && byte_first[last + 1] == 0) {
                ++last;
            }
            if (!list.empty()) {
                list += ", ";
            }
            list += hex_digits(byte, 2);
            if (last > byte) {
                list += '-';
                list += hex_digits(last, 2);
            }
            byte = last;
        }
        if (!list.empty()) {
            finding found;
            found.message = "bytes 80-FF that no entry lists: " + list;
            warn(warning_class::unmapped, std::move(found));
        }
    }
};

// Finds the CRs of a block with one search per CR instead of one per line: most files
// have none, the rest one a line.
struct cr_finder {
    const char* previous_piece = nullptr;
    const char* next = nullptr; // the first CR from the last piece's start on, or the text's end

    // The first CR of a piece of the block, or nullptr.
    const char* first_in(std::string_view piece, const dsc_block& block) {
        // A piece that does not come after the last one starts a new block.
        if (piece.data() <= previous_piece || next < piece.data()) {
            const char* end = block.bytes.data() + block.size;
            const void* cr = std::memchr(piece.data(), '\r', end - piece.data());
            next = cr != nullptr ? static_cast<const char*>(cr) : end;
        }
        previous_piece = piece.data();
        return next < piece.data() + piece.size() ? next : nullptr;
    }
};

// Most lines of a large file are whole comment or empty lines: nothing in them can be a
// finding but a CR that hides text.
bool plainly_skipped_whole_line(std::string_view piece, const char* first_cr) {
    const bool skipped = piece[0] == '\n' ||
                         (piece[0] == '/' && piece.size() > 2 && piece[1] == '/') ||
                         piece == "\r\n";
    return skipped && piece.ends_with('\n') &&
           (first_cr == nullptr || first_cr == piece.data() + piece.size() - 2);
}

} // namespace

dsc_check check_dsc(std::FILE* file, std::string_view name, diagnostic_printer& printer) {
    checker check{.printer = printer, .name = name};
    ++printer.files;
    dsc_block block;
    cr_finder crs;
    errno = 0;
    const dsc_text_end end = read_dsc_pieces(file, block, [&](std::string_view piece) {
        if (check.column_base == 0 &&
            plainly_skipped_whole_line(piece, crs.first_in(piece, block))) {
            ++check.pieces;
            ++check.line;
            return;
        }
        check.take(piece);
    });
    if (end == dsc_text_end::read_error) {
        const int error = errno;
        check.whole_file_error(std::string("cannot read the file") +
                                   (error != 0 ? std::string(": ") + std::strerror(error) : ""),
                               std::nullopt);
    } else {
        if (end == dsc_text_end::ctrl_z) {
            check.after_ctrl_z(block, file);
        }
        if (check.entries == 0) {
            check.whole_file_error("no entry: a table needs at least one", check.pieces);
        } else {
            check.unmapped();
        }
    }
    return std::move(check.result);
}
