#include "maptool/render_text.h"

#include "engine/visible.h"
#include "platform/files.h"

#include <algorithm>
#include <vector>

namespace {

struct palette {
    const char* bold = "";
    const char* error = "";
    const char* warning = "";
    const char* note = "";
    const char* caret = "";
    const char* fix_it = "";
    const char* reset = "";
};

palette colors(bool on) {
    if (!on) {
        return {};
    }
    return {"\033[1m",    "\033[1;31m", "\033[1;35m", "\033[1;36m",
            "\033[1;32m", "\033[32m",   "\033[m"};
}

void put_location(std::string& text, const palette& paint, std::string_view file,
                  std::uint64_t line, std::uint64_t column) {
    text += paint.bold;
    text += visible(file);
    if (line != 0) {
        text += ':' + std::to_string(line) + ':' + std::to_string(column);
    }
    text += ':';
    text += paint.reset;
}

// The line with the finding underlined, as compilers show it.
void put_excerpt(std::string& text, const finding& found, const palette& paint) {
    std::vector<std::size_t> columns;
    const bool continued = found.source_column != 1;
    const std::string shown = (continued ? "..." : "") + visible(found.source, columns);
    const std::size_t shift = continued ? 3 : 0;
    const std::size_t first = found.column - found.source_column;
    // Each end is clamped where it is looked up: columns has one entry past the last byte.
    const std::size_t last = first + std::max<std::size_t>(found.span, 1);
    const std::size_t start = shift + columns[std::min(first, columns.size() - 1)];
    const std::size_t end = shift + columns[std::min(last, columns.size() - 1)];
    const std::string number = std::to_string(found.line);
    const std::size_t gutter = std::max<std::size_t>(number.size(), 4) + 1;
    text += std::string(gutter - number.size(), ' ') + number + " | " + shown + '\n';
    text += std::string(gutter, ' ') + " | " + std::string(start, ' ') + paint.caret + '^' +
            std::string(std::max(end, start + 1) - start - 1, '~') + paint.reset + '\n';
    // A certain fix shows its new text under the place it goes, as clang's fix-it lines.
    if (found.fixes.empty() || !found.fixes.front().safe) {
        return;
    }
    std::string fix_it;
    for (const replacement& edit : found.fixes.front().edits) {
        const std::size_t at = edit.column - found.source_column;
        if (edit.line != found.line || edit.text.empty() || edit.column < found.source_column) {
            continue;
        }
        const std::size_t column = shift + columns[std::min(at, columns.size() - 1)];
        if (column < fix_it.size()) {
            continue;
        }
        fix_it += std::string(column - fix_it.size(), ' ') + visible(edit.text);
    }
    if (!fix_it.empty()) {
        text += std::string(gutter, ' ') + " | " + paint.fix_it + fix_it + paint.reset + '\n';
    }
}

std::string counted(std::uint64_t count, std::string_view what) {
    return std::to_string(count) + ' ' + std::string(what) + (count == 1 ? "" : "s");
}

} // namespace

void text_renderer::render(const finding& found) {
    const palette paint = colors(color_);
    const bool error = found.level == severity::error;
    std::string text;
    put_location(text, paint, found.file, found.line, found.column);
    text += std::string(" ") + (error ? paint.error : paint.warning) +
            (error ? "error:" : "warning:") + paint.reset + ' ' + visible(found.message);
    if (found.which) {
        const std::string name(class_name(*found.which));
        text += error ? " [-Werror,-W" + name + "]" : " [-W" + name + "]";
    }
    text += '\n';
    if (found.line != 0 && !found.source.empty()) {
        put_excerpt(text, found, paint);
    }
    const auto put_note = [&](std::uint64_t line, std::uint64_t column, std::string_view note) {
        put_location(text, paint, found.file, line, column);
        text += std::string(" ") + paint.note + "note:" + paint.reset + ' ' + visible(note) + '\n';
    };
    for (const diagnostic_note& note : found.notes) {
        put_note(note.line, note.column, note.text);
    }
    // The fixes that are not certain, each with what it would write.
    for (const fix& option : found.fixes) {
        if (option.safe || option.edits.empty()) {
            continue;
        }
        const replacement& edit = option.edits.front();
        put_note(edit.line, edit.column, "unsafe fix: " + option.description);
    }
    write_text(out_, text);
}

void text_renderer::omitted(std::string_view file, const report_counts& hidden) {
    const palette paint = colors(color_);
    std::string text;
    put_location(text, paint, file, 0, 0);
    text += std::string(" ") + paint.note + "note:" + paint.reset + ' ' +
            counted(hidden.errors, "more error") + " and " + counted(hidden.warnings, "warning") +
            " not shown, after --max-errors\n";
    write_text(out_, text);
}

void text_renderer::finish(const report_counts& counts) {
    if (summary_) {
        const std::string text = summary_line(counts) + '\n';
        write_text(out_, text);
    }
}

std::string summary_line(const report_counts& counts) {
    return counted(counts.errors, "error") + " and " + counted(counts.warnings, "warning") +
           " in " + counted(counts.files, "file");
}
