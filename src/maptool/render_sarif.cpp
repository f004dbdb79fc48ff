#include "maptool/render_sarif.h"

#include "engine/dsc_text.h"
#include "engine/utf8.h"
#include "platform/files.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

constexpr const char* SCHEMA = "https://json.schemastore.org/sarif-2.1.0.json";

// A file name as a URI reference: '/' between folders (also for a Windows '\'), an
// absolute path under file://, and every byte but the unreserved ones percent-encoded, so
// that any name, in any code page, stays one valid reference to its file.
std::string uri_of(std::string_view file) {
    std::string path(file);
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool drive = path.size() > 2 && path[1] == ':' && path[2] == '/';
    std::string uri = path.starts_with('/') ? "file://" : drive ? "file:///" : "";
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/' || (drive && i == 1);
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += hex_digits(static_cast<unsigned char>(c), 2);
        }
    }
    return uri;
}

// The rules: the warning classes, then the error kinds, in the order of their indexes.
std::size_t rule_index(const finding& found) {
    return found.which ? static_cast<std::size_t>(*found.which)
                       : WARNING_CLASSES + static_cast<std::size_t>(found.kind);
}

nlohmann::json rules() {
    nlohmann::json all = nlohmann::json::array();
    const auto rule = [&](std::string_view id, std::string_view summary) {
        all.push_back({{"id", id}, {"shortDescription", {{"text", std::string(summary) + "."}}}});
    };
    for (std::size_t i = 0; i < WARNING_CLASSES; ++i) {
        const auto which = static_cast<warning_class>(i);
        rule(class_name(which), class_summary(which));
    }
    for (std::size_t i = 0; i < ERROR_KINDS; ++i) {
        const auto kind = static_cast<error_kind>(i);
        rule(kind_name(kind), kind_summary(kind));
    }
    return all;
}

// SARIF counts columns in characters (code points here); the checker counts bytes. On the
// finding's own line, whose text it has (one piece of a long line, with the count of the
// characters before it), a byte column becomes a character column; other lines are the
// lines of the table's fields, which are ASCII.
std::uint64_t character_column(const finding& found, std::uint64_t line, std::uint64_t column) {
    if (line != found.line || column < found.source_column) {
        return column;
    }
    const std::uint64_t bytes = column - found.source_column;
    const std::size_t known = std::min<std::size_t>(bytes, found.source.size());
    return 1 + found.source_characters + utf8_characters(found.source.substr(0, known)) +
           (bytes - known);
}

// The bytes [column, column + span) of a line; a whole file when line is 0.
nlohmann::json location(const finding& found, std::uint64_t line, std::uint64_t column,
                        std::size_t span) {
    nlohmann::json place = {{"artifactLocation", {{"uri", uri_of(found.file)}}}};
    if (line != 0) {
        place["region"] = {{"startLine", line},
                           {"startColumn", character_column(found, line, column)},
                           {"endColumn", character_column(found, line, column + span)}};
    }
    return place;
}

nlohmann::json fixes_of(const finding& found) {
    nlohmann::json fixes = nlohmann::json::array();
    for (const fix& option : found.fixes) {
        nlohmann::json replacements = nlohmann::json::array();
        for (const replacement& edit : option.edits) {
            replacements.push_back(
                {{"deletedRegion", location(found, edit.line, edit.column, edit.span)["region"]},
                 {"insertedContent", {{"text", edit.text}}}});
        }
        fixes.push_back({{"description", {{"text", option.description}}},
                         {"artifactChanges",
                          {{{"artifactLocation", {{"uri", uri_of(found.file)}}},
                            {"replacements", replacements}}}},
                         {"properties", {{"safe", option.safe}}}});
    }
    return fixes;
}

nlohmann::json as_sarif(const finding& found) {
    const std::size_t index = rule_index(found);
    const std::string_view id = found.which ? class_name(*found.which) : kind_name(found.kind);
    nlohmann::json result = {
        {"ruleId", id},
        {"ruleIndex", index},
        {"level", found.level == severity::error ? "error" : "warning"},
        {"message", {{"text", found.message}}},
        {"locations",
         {{{"physicalLocation", location(found, found.line, found.column, found.span)}}}},
    };
    nlohmann::json related = nlohmann::json::array();
    for (const diagnostic_note& note : found.notes) {
        related.push_back({{"id", related.size()},
                           {"physicalLocation", location(found, note.line, note.column, note.span)},
                           {"message", {{"text", note.text}}}});
    }
    if (!related.empty()) {
        result["relatedLocations"] = related;
    }
    if (!found.fixes.empty()) {
        result["fixes"] = fixes_of(found);
    }
    if (found.mapmaker_line) {
        result["properties"] = {{"mapmakerLine", *found.mapmaker_line}};
    }
    return result;
}

std::string dumped(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

// The log up to the opening of its results, written before the first result.
void sarif_renderer::start() {
    if (started_) {
        return;
    }
    started_ = true;
    const nlohmann::json driver = {
        {"name", "maptool"}, {"version", MAPTOOL_VERSION}, {"rules", rules()}};
    const std::string head =
        "{\"$schema\":\"" + std::string(SCHEMA) +
        "\",\"version\":\"2.1.0\",\"runs\":[{\"tool\":{\"driver\":" + dumped(driver) +
        "},\"columnKind\":\"unicodeCodePoints\",\"results\":[";
    write_text(out_, head);
}

void sarif_renderer::render(const finding& found) {
    start();
    write_text(out_, (any_ ? ",\n" : "\n") + dumped(as_sarif(found)));
    any_ = true;
}

void sarif_renderer::finish(const report_counts&) {
    start();
    write_text(out_, "\n]}]}\n");
}
