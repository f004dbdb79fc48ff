#include "maptool/render_json.h"

#include "platform/files.h"

#include <nlohmann/json.hpp>

namespace {

nlohmann::json number_or_null(std::uint64_t value) {
    return value == 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

nlohmann::json as_json(const finding& found) {
    // "notes" keeps the texts alone, as before; "children" gives each note its place.
    nlohmann::json notes = nlohmann::json::array();
    nlohmann::json children = nlohmann::json::array();
    for (const diagnostic_note& note : found.notes) {
        notes.push_back(note.text);
        children.push_back({
            {"kind", "note"},
            {"message", note.text},
            {"file", found.file},
            {"line", number_or_null(note.line)},
            {"column", number_or_null(note.line == 0 ? 0 : note.column)},
        });
    }
    return {
        {"file", found.file},
        {"line", number_or_null(found.line)},
        {"column", number_or_null(found.line == 0 ? 0 : found.column)},
        {"severity", found.level == severity::error ? "error" : "warning"},
        {"class", found.which ? nlohmann::json(class_name(*found.which)) : nlohmann::json(nullptr)},
        {"message", found.message},
        {"notes", notes},
        {"children", children},
        {"mapmaker_line",
         found.mapmaker_line ? nlohmann::json(*found.mapmaker_line) : nlohmann::json(nullptr)},
    };
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
