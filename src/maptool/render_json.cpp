#include "maptool/render_json.h"

#include "engine/dsc_text.h"
#include "engine/visible.h"
#include "platform/files.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

// A file name that is not UTF-8 (a name in a legacy code page) is shown as the text
// reports show it, its stray bytes as <XX>, and "file_bytes" gives its bytes in hex, so
// that the file stays identifiable; a UTF-8 name is given as it is, without "file_bytes".
void put_file(nlohmann::json& object, std::string_view file) {
    if (valid_utf8(file)) {
        object["file"] = file;
        return;
    }
    std::string hex;
    for (const char c : file) {
        hex += hex_digits(static_cast<unsigned char>(c), 2);
    }
    object["file"] = visible(file);
    object["file_bytes"] = hex;
}

nlohmann::json number_or_null(std::uint64_t value) {
    return value == 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

// The last column of a range, as gcc's "finish": a finding of one byte ends where it starts.
nlohmann::json last_column(std::uint64_t line, std::uint64_t column, std::size_t span) {
    return line == 0 ? nlohmann::json(nullptr)
                     : nlohmann::json(column + std::max<std::size_t>(span, 1) - 1);
}

// Each edit as gcc's fix-its: the bytes from "column" up to "next_column" (the column after
// them; the same for an insertion) replaced by "text".
nlohmann::json fixes_of(const finding& found) {
    nlohmann::json fixes = nlohmann::json::array();
    for (const fix& option : found.fixes) {
        nlohmann::json edits = nlohmann::json::array();
        for (const replacement& edit : option.edits) {
            edits.push_back({{"line", edit.line},
                             {"column", edit.column},
                             {"next_column", edit.column + edit.span},
                             {"text", edit.text}});
        }
        fixes.push_back(
            {{"description", option.description}, {"safe", option.safe}, {"edits", edits}});
    }
    return fixes;
}

nlohmann::json as_json(const finding& found) {
    // "notes" keeps the texts alone, as before; "children" gives each note its place.
    nlohmann::json notes = nlohmann::json::array();
    nlohmann::json children = nlohmann::json::array();
    for (const diagnostic_note& note : found.notes) {
        notes.push_back(note.text);
        nlohmann::json child = {{"kind", "note"}, {"message", note.text}};
        put_file(child, found.file);
        child["line"] = number_or_null(note.line);
        child["column"] = number_or_null(note.line == 0 ? 0 : note.column);
        child["end_column"] = last_column(note.line, note.column, note.span);
        children.push_back(std::move(child));
    }
    nlohmann::json object;
    put_file(object, found.file);
    object.update({
        {"line", number_or_null(found.line)},
        {"column", number_or_null(found.line == 0 ? 0 : found.column)},
        {"end_column", last_column(found.line, found.column, found.span)},
        {"severity", found.level == severity::error ? "error" : "warning"},
        {"class", found.which ? nlohmann::json(class_name(*found.which)) : nlohmann::json(nullptr)},
        {"message", found.message},
        {"notes", notes},
        {"children", children},
        {"fixes", fixes_of(found)},
        {"mapmaker_line",
         found.mapmaker_line ? nlohmann::json(*found.mapmaker_line) : nlohmann::json(nullptr)},
    });
    return object;
}

} // namespace

// Laid out as one indented array would be: each object indented by two more spaces.
void json_renderer::render(const finding& found) {
    std::string text = any_ ? ",\n  " : "[\n  ";
    const std::string object =
        as_json(found).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    for (const char c : object) {
        text += c;
        if (c == '\n') {
            text += "  ";
        }
    }
    any_ = true;
    write_text(out_, text);
}

void json_renderer::finish(const report_counts&) {
    const char* end = any_ ? "\n]\n" : "[]\n";
    write_text(out_, end);
}
