#include "engine/table_source.h"

#include "engine/dsc_check.h"
#include "engine/dsc_text.h"
#include "engine/dump.h"
#include "engine/files.h"
#include "engine/import.h"
#include "engine/line_reader.h"
#include "engine/mapping_sources.h"
#include "engine/table_names.h"
#include "platform/files.h"
#include "table/map_reader.h"
#include "unicode/names.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr std::string_view ICONV_PREFIX = "iconv:";

// What an excerpt shows of a line that is too long to be a table's.
constexpr std::size_t EXCERPT_MAX = 80;

// A finding at a note's place in the source.
finding at_note(std::string_view file, const source_note& note, severity level) {
    finding found;
    found.level = level;
    found.file = file;
    found.message = note.message;
    found.line = note.line;
    found.column = note.column;
    found.span = note.span;
    found.source = note.text;
    return found;
}

table_form form_of(source_format format) {
    switch (format) {
    case source_format::unicode_table:
        return table_form::unicode_table;
    case source_format::charmap:
        return table_form::charmap;
    case source_format::ucm:
        return table_form::ucm;
    }
    return table_form::unicode_table;
}

// The entries of a whole code page, in byte order, as a table; none when no byte from
// `first` on is defined.
result<loaded_table> listed_table(std::vector<source_entry> entries, std::uint8_t first) {
    std::erase_if(entries, [first](const source_entry& entry) { return entry.byte < first; });
    if (entries.empty()) {
        return failure{first == 0 ? "no byte is defined" : "no byte from 80 to FF is defined"};
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const source_entry& a, const source_entry& b) { return a.byte < b.byte; });
    loaded_table loaded;
    for (const source_entry& entry : entries) {
        if (loaded.table.count == MAX_ENTRIES) {
            break; // each byte is listed once, so this is never reached
        }
        loaded.table.records[loaded.table.count++] = make_record(entry.byte, entry.code);
        loaded.names.push_back(entry.name);
    }
    return loaded;
}

result<loaded_table> from_iconv(const std::string& charset, std::uint8_t first,
                                diagnostics& report) {
    if (charset.empty()) {
        // iconv would take the empty name for the locale's own charset.
        return failure{"no charset named after iconv:, such as iconv:CP1251"};
    }
    result<std::vector<source_entry>> entries = iconv_entries(charset, first, report);
    if (!entries) {
        return entries.error();
    }
    result<loaded_table> loaded = listed_table(std::move(*entries), first);
    if (loaded) {
        loaded->form = table_form::iconv;
        loaded->name = charset;
        loaded->charset = charset;
    }
    return loaded;
}

// Whether a first line that reads as no table's is a DSC line spoiled by what the DSC
// checker points out: a byte order mark (UTF-8's or UTF-16's), the NUL bytes of UTF-16,
// tabs. Such a file gets the checker's findings rather than "not a table".
bool spoiled_dsc_line(std::string_view line) {
    std::string plain;
    for (const char c : line) {
        if (c != '\0') {
            plain += c == '\t' ? ' ' : c;
        }
    }
    for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        if (plain.starts_with(mark)) {
            plain.erase(0, mark.size());
            break;
        }
    }
    return kind_of_line(plain) == line_kind::dsc;
}

// The error of a file that is no table: one, which names every form tried.
void report_no_table(diagnostics& report, std::string_view file, const line_reader& lines,
                     bool compressed, const map_reading& map) {
    finding found =
        file_error(file, "not a table: neither a map file, a DSC file, a Unicode mapping "
                         "table, a charmap nor an ICU .ucm file");
    const std::string_view excerpt = lines.line().substr(0, EXCERPT_MAX);
    if (lines.number() != 0) {
        found.line = lines.number();
        found.column = 1;
        found.source = excerpt;
    }
    found.notes.push_back({map_fault_text(map), 0, 0});
    if (compressed) {
        found.notes.push_back({"gzip-compressed, and DSC files are not", 0, 0});
    }
    found.notes.push_back({"a DSC file has lines such as 80, 0410, a Unicode mapping table "
                           "0x80 0x0410, a charmap or .ucm file <code_set_name> and CHARMAP",
                           0, 0});
    report.report(std::move(found));
}

// The error of a line too long for any table: reading on would only cost time and memory.
void report_too_long(diagnostics& report, std::string_view file, const line_reader& lines) {
    finding found = file_error(file, "a line of more than " + std::to_string(SOURCE_LINE_MAX) +
                                         " bytes, longer than any table's: not read on");
    found.line = lines.number();
    found.column = 1;
    found.source = lines.line().substr(0, EXCERPT_MAX);
    report.report(std::move(found));
}

// Reads the text forms on from the lines the reader has taken; `wanted` is what it said
// to the last of them.
result<loaded_table> read_listed(line_reader& lines, mapping_reader& reader, bool wanted,
                                 const std::string& path, std::uint8_t first, diagnostics& report) {
    const std::string shown = display_name(path);
    line_status status = line_status::line;
    while (wanted && (status = lines.next()) == line_status::line) {
        wanted = reader.take(lines.line());
    }
    if (status == line_status::too_long) {
        report_too_long(report, shown, lines);
        return failure::reported();
    }
    if (status == line_status::failed) {
        return failure{lines.problem()};
    }
    mapping_source source = reader.finish();
    // What follows a table is not read for its words, but a cut or damaged gzip stream
    // there still makes a damaged file. After an error, the rest is not read at all.
    while (!source.error && (status == line_status::line || status == line_status::too_long)) {
        status = lines.next();
    }
    if (status == line_status::failed) {
        return failure{lines.problem()};
    }
    for (const source_note& warning : source.warnings) {
        report.report(at_note(shown, warning, severity::warning));
    }
    if (source.error) {
        report.report(at_note(shown, *source.error, severity::error));
        return failure::reported();
    }
    result<loaded_table> loaded = listed_table(std::move(source.entries), first);
    if (loaded) {
        loaded->form = form_of(source.format);
        loaded->charset = source.charset;
        const bool named = source.format != source_format::unicode_table && !source.charset.empty();
        loaded->name = named ? source.charset : table_name_of(file_name_of(path));
    }
    return loaded;
}

// The form of a table file that is no DSC file, told by its content as load_source tells
// it: a map, or a Unicode mapping table, charmap or .ucm file that reads as one past its
// first line with content (a DSC line written "0x80, 0410" does not). None for anything
// else, DSC files with faults included.
std::optional<table_form> other_form(std::FILE* file) {
    if (holds_map(file)) {
        return table_form::map;
    }
    line_reader lines(file);
    mapping_reader reader;
    std::uint64_t first_content = 0;
    bool wanted = true;
    while (wanted && lines.next() == line_status::line) {
        const line_kind kind = kind_of_line(lines.line());
        if (first_content == 0 && kind != line_kind::nothing) {
            if (kind != line_kind::unicode_table && kind != line_kind::charmap) {
                return std::nullopt;
            }
            first_content = lines.number();
        }
        wanted = reader.take(lines.line());
    }
    const mapping_source source = reader.finish();
    if (first_content == 0 || (source.error && source.error->line == first_content)) {
        return std::nullopt;
    }
    return form_of(source.format);
}

} // namespace

std::string form_text(table_form form) {
    switch (form) {
    case table_form::map:
        return "the map file";
    case table_form::dsc:
        return "the DSC file";
    case table_form::unicode_table:
        return "the Unicode mapping table";
    case table_form::charmap:
        return "the charmap";
    case table_form::ucm:
        return "the ICU .ucm file";
    case table_form::iconv:
#if defined(MAPTOOL_CODE_PAGES)
        return "the system's code pages";
#else
        return "the system's iconv";
#endif
    }
    return {};
}

result<loaded_table> load_source(const std::string& path, std::uint8_t first, diagnostics& report) {
    if (path.starts_with(ICONV_PREFIX)) {
        return from_iconv(path.substr(ICONV_PREFIX.size()), first, report);
    }
    if (!is_table_path(path)) {
        const result<std::string> found = table_by_name(path);
        if (!found) {
            return found.error();
        }
        return load_source(*found, first, report);
    }
    result<input_file> opened = open_input(path);
    if (!opened) {
        return opened.error();
    }
    result<input_file> file = rewindable(std::move(*opened));
    if (!file) {
        return file.error();
    }
    // gzip data is never a map file: its first two bytes, 1F 8B, count more than 256.
    const map_reading map = read_map(file->get());
    if (map.fault == map_fault::read_error) {
        return failure{"cannot read the file"};
    }
    if (map.fault == map_fault::none) {
        loaded_table loaded{.table = map.table,
                            .names = std::vector<std::string>(map.table.count),
                            .name = table_name_of(path),
                            .charset = {},
                            .form = table_form::map};
        return loaded;
    }
    const std::string shown = display_name(path);
    line_reader lines(file->get());
    mapping_reader reader(first);
    line_status status = line_status::line;
    line_kind kind = line_kind::nothing;
    bool wanted = true;
    // The first line with content tells the form; the reader takes the lines up to it, in
    // case it is one of the forms it reads.
    while (kind == line_kind::nothing && (status = lines.next()) == line_status::line) {
        kind = kind_of_line(lines.line());
        if (kind == line_kind::unicode_table || kind == line_kind::charmap ||
            kind == line_kind::nothing) {
            wanted = reader.take(lines.line());
        }
    }
    if (status == line_status::failed) {
        return failure{lines.problem()};
    }
    if (status == line_status::too_long) {
        report_too_long(report, shown, lines);
        return failure::reported();
    }
    const bool compressed = lines.compressed();
    if (!compressed && (kind == line_kind::dsc || kind == line_kind::nothing ||
                        (kind == line_kind::unknown && spoiled_dsc_line(lines.line())))) {
        std::rewind(file->get());
        const dsc_check checked = check_dsc(file->get(), shown, report);
        if (checked.failed) {
            return failure::reported();
        }
        loaded_table loaded{.table = checked.table,
                            .names = std::vector<std::string>(checked.table.count),
                            .name = table_name_of(path),
                            .charset = {},
                            .form = table_form::dsc};
        return loaded;
    }
    if (kind == line_kind::unknown || kind == line_kind::dsc) {
        report_no_table(report, shown, lines, compressed, map);
        return failure::reported();
    }
    return read_listed(lines, reader, wanted && status == line_status::line, path, first, report);
}

result<loaded_table> load_table(const std::string& path, diagnostics& report) {
    return load_source(path, 0x80, report);
}

std::uint16_t code_at(const code_table& table, std::size_t i) {
    return code_of(table.records[i]);
}

std::string name_at(const loaded_table& loaded, std::size_t i) {
    const bool named = i < loaded.names.size() && !loaded.names[i].empty();
    return named ? loaded.names[i] : char_name(code_at(loaded.table, i));
}

std::vector<std::size_t> byte_order(const code_table& table) {
    std::vector<std::size_t> order(table.count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&table](std::size_t a, std::size_t b) {
        return table.records[a][0] < table.records[b][0];
    });
    return order;
}

bool is_source_file(const std::string& source, const std::string& output) {
    // The source is not opened for this: a FIFO would be read by the wrong reader.
    return !source.starts_with(ICONV_PREFIX) && is_same_file(source, output);
}

result<input_file> open_dsc_source(const std::string& argument, diagnostics& report) {
    std::string path = argument;
    if (!is_table_path(argument)) {
        const result<std::string> found = table_by_name(argument);
        if (!found) {
            return found.error();
        }
        path = *found;
    }
    // A table that is no DSC file: what it is, and the verb that makes one of it.
    const auto refused = [&report, &argument](const std::string& what, const std::string& verb) {
        report.report(file_error(display_name(argument),
                                 what + ", not a DSC file: maptool " + verb + ' ' + argument +
                                     " writes one from it, and the verbs that take a table "
                                     "read it as it is"));
        return failure::reported();
    };
    if (path.starts_with(ICONV_PREFIX)) {
        return refused("a charset of the system's iconv", "import");
    }
    result<input_file> file = open_input(path);
    if (!file || path == "-" || !is_regular_file(descriptor_of(file->get()))) {
        return file;
    }
    const std::optional<table_form> form = other_form(file->get());
    std::rewind(file->get());
    if (!form) {
        return file;
    }
    const std::string what = form_text(*form).substr(4); // without "the "
    return refused((*form == table_form::ucm ? "an " : "a ") + what,
                   *form == table_form::map ? "dump" : "import");
}
