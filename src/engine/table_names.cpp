#include "engine/table_names.h"

#include "engine/files.h"
#include "engine/import.h"
#include "engine/line_reader.h"
#include "engine/visible.h"
#include "engine/which.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>

namespace {

namespace fs = std::filesystem;

// Near names are offered up to this many, at most this many edits away.
constexpr std::size_t NEAR_NAMES_MAX = 5;
constexpr std::size_t NEAR_EDITS_MAX = 2;

std::string lower(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return folded;
}

bool same_name(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

std::string without_gz(std::string name) {
    if (name.ends_with(".gz")) {
        name.resize(name.size() - 3);
    }
    return name;
}

// The regular files of a folder, sorted; none when it cannot be read.
std::vector<fs::path> files_in(const std::string& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path_from_utf8(folder), error)) {
        if (entry.is_regular_file(error)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Calls `take` with each line of the file until it returns false.
void each_line(const std::string& path, const std::function<bool(std::string_view)>& take) {
    const result<input_file> file = open_input(path);
    if (!file) {
        return;
    }
    line_reader lines(file->get());
    while (lines.next() == line_status::line && take(lines.line())) {
    }
}

// The words of a line, split at blanks.
std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// A charmap's names from its header, which ends at CHARMAP: <code_set_name> and each
// "% alias NAME" line.
named_table charmap_names(const fs::path& path) {
    named_table found{without_gz(utf8_from_path(path.filename())), utf8_from_path(path), {}};
    each_line(found.path, [&found](std::string_view line) {
        const std::vector<std::string_view> words = words_of(line);
        if (words.size() == 1 && words[0] == "CHARMAP") {
            return false;
        }
        if (words.size() == 3 && words[0] == "%" && words[1] == "alias") {
            found.aliases.emplace_back(words[2]);
        } else if (words.size() == 2 && words[0] == "<code_set_name>" &&
                   !same_name(words[1], found.name)) {
            found.aliases.emplace_back(words[1]);
        }
        return true;
    });
    return found;
}

// How many single-character edits make one name of the other, letter case aside.
std::size_t edits_between(std::string_view a, std::string_view b) {
    const std::string x = lower(a);
    const std::string y = lower(b);
    std::vector<std::size_t> row(y.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] != y[j - 1])});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// The known names closest to `name`, closest first.
std::vector<std::string> near_names(const std::string& name,
                                    const std::vector<std::string>& known) {
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& each : known) {
        const std::size_t edits = edits_between(name, each);
        if (edits <= NEAR_EDITS_MAX &&
            std::none_of(close.begin(), close.end(),
                         [&each](const auto& seen) { return same_name(seen.second, each); })) {
            close.emplace_back(edits, each);
        }
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < close.size() && i < NEAR_NAMES_MAX; ++i) {
        names.push_back(close[i].second);
    }
    return names;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + visible(name);
    }
    return text;
}

// The tables among `tables` that go by `name`, by their name or an alias.
std::vector<const named_table*> matching(const std::vector<named_table>& tables,
                                         const std::string& name) {
    std::vector<const named_table*> found;
    for (const named_table& table : tables) {
        if (same_name(table.name, name) ||
            std::any_of(table.aliases.begin(), table.aliases.end(),
                        [&name](const std::string& alias) { return same_name(alias, name); })) {
            found.push_back(&table);
        }
    }
    return found;
}

// The one table of those found, or the failure of several.
result<std::string> the_one(const std::vector<const named_table*>& found, const std::string& name,
                            const std::string& where) {
    if (found.size() == 1) {
        return found[0]->path;
    }
    std::vector<std::string> paths;
    for (const named_table* table : found) {
        paths.push_back(table->path);
    }
    return failure{"the name " + visible(name) + " is ambiguous: " + where + " has " +
                   std::to_string(found.size()) + " tables of that name (" + listed(paths) +
                   "); give the file's path"};
}

} // namespace

std::string bundled_tables_folder() {
    const char* from_environment = std::getenv("MAPTOOL_TABLES");
    if (from_environment != nullptr && *from_environment != '\0') {
        return from_environment;
    }
    return program_tables_folder();
}

std::string program_tables_folder() {
    const std::string program = program_path();
    if (!program.empty()) {
        const fs::path folder = path_from_utf8(program).parent_path();
        // Installed, the tables are in share/mapmaker; in a build tree, beside the program.
        for (const fs::path& beside :
             {folder / path_from_utf8(MAPTOOL_TABLES_FROM_PROGRAM), folder / "tables"}) {
            std::error_code error;
            if (fs::is_directory(beside, error)) {
                return utf8_from_path(beside.lexically_normal());
            }
        }
    }
    return MAPTOOL_TABLES_DIR;
}

std::string charmaps_folder() {
    const char* from_environment = std::getenv("MAPTOOL_CHARMAPS");
    return from_environment != nullptr && *from_environment != '\0' ? from_environment
                                                                    : "/usr/share/i18n/charmaps";
}

std::vector<named_table> bundled_tables() {
    std::vector<named_table> tables;
    for (const fs::path& path : files_in(bundled_tables_folder())) {
        if (path.extension() == ".dsc" || path.extension() == ".map") {
            tables.push_back({utf8_from_path(path.stem()), utf8_from_path(path), {}});
        }
    }
    return tables;
}

std::vector<named_table> system_charmaps() {
    std::vector<named_table> charmaps;
    for (const fs::path& path : files_in(charmaps_folder())) {
        charmaps.push_back(charmap_names(path));
    }
    return charmaps;
}

std::string table_title(const std::string& path) {
    std::string title;
    each_line(path, [&title](std::string_view line) {
        if (!line.starts_with("//")) {
            return false; // the comments at the top are over
        }
        const std::vector<std::string_view> words = words_of(line.substr(2));
        const bool header = words.size() == 3 && words[1] == "->" && words[2] == "UNICODE";
        if (!header && !words.empty()) {
            title = line.substr(line.find_first_not_of(" \t/"));
        }
        return title.empty();
    });
    return title;
}

bool is_table_path(const std::string& argument) {
    if (argument.empty() || argument == "-" ||
        argument.find_first_of("/\\:") != std::string::npos) {
        return true;
    }
    std::error_code error;
    return fs::exists(path_from_utf8(argument), error);
}

result<std::string> table_by_name(const std::string& name) {
    const std::vector<named_table> bundled = bundled_tables();
    if (const auto found = matching(bundled, name); !found.empty()) {
        return the_one(found, name, "the bundled tables' folder " + bundled_tables_folder());
    }
    // A charmap by its file's name needs no header read; an alias does.
    const std::string charmap_name = without_gz(name);
    std::vector<named_table> charmaps;
    for (const fs::path& path : files_in(charmaps_folder())) {
        charmaps.push_back({without_gz(utf8_from_path(path.filename())), utf8_from_path(path), {}});
    }
    std::vector<const named_table*> found = matching(charmaps, charmap_name);
    if (found.empty()) {
        charmaps = system_charmaps();
        found = matching(charmaps, charmap_name);
    }
    if (!found.empty()) {
        return the_one(found, name, "the charmaps' folder " + charmaps_folder());
    }
    if (iconv_knows(name)) {
        return "iconv:" + name;
    }
    std::vector<std::string> known;
    for (const std::vector<named_table>* tables :
         {&bundled, static_cast<const std::vector<named_table>*>(&charmaps)}) {
        for (const named_table& table : *tables) {
            known.push_back(table.name);
            known.insert(known.end(), table.aliases.begin(), table.aliases.end());
        }
    }
    if (const result<std::vector<std::string>> charsets = iconv_charsets(); charsets) {
        known.insert(known.end(), charsets->begin(), charsets->end());
    }
    const std::vector<std::string> nearby = near_names(name, known);
    const result<input_file> opened = open_input(name);
    return failure{(opened ? std::string("no such file") : opened.error().message) +
                   "; nor is it the name of a table: not among the bundled tables (" +
                   bundled_tables_folder() + "), glibc's charmaps (" + charmaps_folder() +
                   ") nor iconv's charsets" +
                   (nearby.empty() ? std::string() : "; near names: " + listed(nearby))};
}
