// maptool which FILE: which known code page is this? Given a table (a map or a DSC file),
// how many bytes each known table decodes differently; given a sample of text, how well
// each reads it. Best first.
#include "engine/which.h"
#include "engine/files.h"
#include "engine/import.h"
#include "engine/table_names.h"
#include "engine/table_source.h"
#include "engine/visible.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

struct which_options {
    std::string file;
    std::string tables;
    bool iconv = false;
    bool text = false;
    std::string best = "10";
    std::string color = "auto";
};

// Reads tables without a word: a candidate that is no table is left out, and a file that
// is no table is a text sample.
class silent_renderer : public renderer {
  public:
    void render(const finding&) override {}
    void finish(const report_counts&) override {}
};

struct candidate {
    std::string name;
    code_page page;
    std::vector<std::string> aliases = {}; // other names of the same page

    // "iconv:866 (also CP866, IBM866)"
    std::string shown() const {
        std::string text = name;
        for (std::size_t i = 0; i < aliases.size(); ++i) {
            text += (i == 0 ? " (also " : ", ") + aliases[i];
        }
        return aliases.empty() ? text : text + ")";
    }
};

// --tables, else $MAPTOOL_TABLES, else the folder the bundled tables were installed to.
std::string tables_folder(const which_options& options) {
    return options.tables.empty() ? bundled_tables_folder() : options.tables;
}

result<std::vector<candidate>> known_tables(const which_options& options, diagnostics& report) {
    const std::string folder = tables_folder(options);
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path_from_utf8(folder), error)) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() == ".dsc" || path.extension() == ".map") {
            files.push_back(path);
        }
    }
    if (error) {
        return failure{"cannot read the tables folder " + visible(folder) + ": " + error.message() +
                       "; name the folder with --tables or MAPTOOL_TABLES"};
    }
    std::sort(files.begin(), files.end());
    silent_renderer quiet;
    std::vector<candidate> found;
    for (const std::filesystem::path& path : files) {
        diagnostics unheard(warning_policy{}, quiet);
        const result<loaded_table> table = load_table(utf8_from_path(path), unheard);
        if (!table) {
            report.report(file_warning(utf8_from_path(path), "left out: not a table"));
            continue;
        }
        found.push_back({utf8_from_path(path.stem()), make_code_page(table->table, true)});
    }
    return found;
}

// iconv's charsets, one candidate for each code page however many names it has: iconv -l
// lists aliases as charsets of their own ("866", "CP866", "CSIBM866", "IBM866").
result<std::vector<candidate>> iconv_tables() {
    result<std::vector<std::string>> names = iconv_charsets();
    if (!names) {
        return names.error();
    }
    silent_renderer quiet;
    std::vector<candidate> found;
    std::map<std::string, std::size_t> by_bytes; // a page's decoded bytes: its candidate
    for (const std::string& name : *names) {
        diagnostics unheard(warning_policy{}, quiet);
        const result<loaded_table> table = load_source("iconv:" + name, 0x00, unheard);
        if (!table || table->table.count == 0) {
            continue; // not a code page of single bytes
        }
        candidate made{"iconv:" + name, make_code_page(table->table, true)};
        const std::string bytes(reinterpret_cast<const char*>(made.page.decoded.data()),
                                sizeof made.page.decoded);
        const auto [known, added] = by_bytes.emplace(bytes, found.size());
        if (added) {
            found.push_back(std::move(made));
        } else {
            found[known->second].aliases.push_back(name);
        }
    }
    return found;
}

// Each candidate with its score, best first, as many as --best asks for (0: all).
template <typename Score>
std::vector<std::pair<Score, const candidate*>>
ranked(const std::vector<candidate>& candidates, std::size_t best,
       const std::function<Score(const code_page&)>& score) {
    std::vector<std::pair<Score, const candidate*>> list;
    for (const candidate& each : candidates) {
        list.emplace_back(score(each.page), &each);
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (best != 0 && list.size() > best) {
        list.resize(best);
    }
    return list;
}

exit_status run_which(const which_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    char* end = nullptr;
    const unsigned long best = std::strtoul(options.best.c_str(), &end, 10);
    if (options.best.empty() || *end != '\0') {
        throw usage_error{"--best: '" + options.best + "' is no number"};
    }
    result<std::vector<candidate>> candidates = known_tables(options, report);
    if (!candidates) {
        report_failure(report, "which", candidates.error());
        return exit_status::trouble;
    }
    if (options.iconv) {
        result<std::vector<candidate>> more = iconv_tables();
        if (!more) {
            report_failure(report, "iconv", more.error());
            return exit_status::trouble;
        }
        std::move(more->begin(), more->end(), std::back_inserter(*candidates));
    }

    // A file that reads as a table is one; anything else is text.
    if (!options.text && options.file != "-") {
        silent_renderer quiet;
        diagnostics unheard(warning_policy{}, quiet);
        const result<loaded_table> table = load_table(options.file, unheard);
        if (table) {
            const code_page page = make_code_page(table->table, true);
            const auto list =
                ranked<std::uint32_t>(*candidates, best, [&page](const code_page& other) {
                    return bytes_differing(page, other);
                });
            for (const auto& [differ, each] : list) {
                std::printf("%s: %u byte%s differ%s\n", each->shown().c_str(), differ,
                            differ == 1 ? "" : "s", differ == 1 ? "s" : "");
            }
            return !list.empty() && list.front().first == 0 ? exit_status::success
                                                            : exit_status::findings;
        }
    }
    result<input_file> opened = open_input(options.file);
    if (!opened) {
        report_failure(report, display_name(options.file), opened.error());
        return exit_status::trouble;
    }
    const result<text_sample> sample = read_sample(opened->get());
    if (!sample) {
        report_failure(report, display_name(options.file), sample.error());
        return exit_status::trouble;
    }
    // What no table reads, or every table reads alike, has no best table: said, exit 1.
    const std::optional<std::string> other = not_single_byte(*sample);
    const bool ascii =
        std::all_of(candidates->begin(), candidates->end(), [&sample](const candidate& each) {
            return reads_as_ascii(each.page, *sample);
        });
    if (other || ascii) {
        std::printf("%s\n", other               ? other->c_str()
                            : sample->size == 0 ? "empty: there is nothing to tell"
                                                : "ASCII only: every table reads it the same");
        return exit_status::findings;
    }
    const auto list = ranked<sample_fit>(
        *candidates, 0, [&sample](const code_page& page) { return fit_sample(page, *sample); });
    for (std::size_t i = 0; i < list.size() && (best == 0 || i < best); ++i) {
        const auto& [fit, each] = list[i];
        std::printf("%s: %llu bytes unmapped, %llu unlikely\n", each->shown().c_str(),
                    static_cast<unsigned long long>(fit.unmapped),
                    static_cast<unsigned long long>(fit.unlikely));
    }
    if (list.empty() || list.front().first.unmapped != 0) {
        return exit_status::findings;
    }
    // The best is known only as far as it is ahead of the next table that reads the
    // sample otherwise; a table that reads it into the same text is no rival.
    const auto rival = std::find_if(list.begin() + 1, list.end(), [&list, &sample](const auto& e) {
        return !read_alike(list.front().second->page, e.second->page, *sample);
    });
    if (rival != list.end()) {
        const std::optional<std::string> lead = narrow_lead(list.front().first, rival->first);
        if (lead) {
            std::printf("too close to tell: %s is ahead of %s by %s\n",
                        list.front().second->name.c_str(), rival->second->name.c_str(),
                        lead->c_str());
            return exit_status::findings;
        }
    }
    return exit_status::success;
}

} // namespace

void add_which(command_line& line) {
    auto options = std::make_shared<which_options>();
    verb_line verb = line.verb(
        "which", "Which known tables match a table, or read a text sample best: best first");
    verb.word("FILE", options->file,
              "A map, a DSC file or a sample of text; - reads a text sample from standard input",
              true);
    verb.option("--tables DIR", options->tables,
                "The folder of known tables (default: $MAPTOOL_TABLES, else " +
                    program_tables_folder() + ")");
    verb.flag("--iconv", options->iconv, "Also every code page of the system's iconv");
    verb.flag("--text", options->text, "Read FILE as a text sample even if it reads as a table");
    verb.option("-n,--best N", options->best, "Show this many, best first; 0: all (default 10)");
    add_color_option(verb, options->color);
    verb.run([options] { return run_which(*options); });
}
