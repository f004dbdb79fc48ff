// maptool list [--charmaps] [--iconv]: the tables a verb takes by name.
#include "engine/import.h"
#include "engine/table_names.h"
#include "engine/table_source.h"
#include "engine/which.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"

#include <algorithm>

namespace {

struct list_options {
    bool charmaps = false;
    bool iconv = false;
    std::string color = "auto";
};

// A bundled table is counted without a word: a file that is no table says so in its line.
class quiet_renderer : public renderer {
  public:
    void render(const finding&) override {}
    void finish(const report_counts&) override {}
};

// The names in a column as wide as the longest.
int name_width(const std::vector<named_table>& tables) {
    std::size_t width = 0;
    for (const named_table& table : tables) {
        width = std::max(width, table.name.size());
    }
    return static_cast<int>(width);
}

exit_status run_list(const list_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    diagnostics report(warning_policy{}, text);
    const std::vector<named_table> bundled = bundled_tables();
    if (bundled.empty()) {
        report.report(file_error(bundled_tables_folder(),
                                 "no bundled table in this folder; name it with MAPTOOL_TABLES"));
        return exit_status::trouble;
    }
    const int width = name_width(bundled);
    for (const named_table& table : bundled) {
        quiet_renderer quiet;
        diagnostics unheard(warning_policy{}, quiet);
        const result<loaded_table> loaded = load_table(table.path, unheard);
        const std::string entries =
            loaded ? std::to_string(loaded->table.count) + " entries" : "not a table";
        std::printf("%-*s  %11s  %s\n", width, table.name.c_str(), entries.c_str(),
                    table_title(table.path).c_str());
    }
    if (options.charmaps) {
        const std::vector<named_table> charmaps = system_charmaps();
        for (const named_table& table : charmaps) {
            std::string aliases;
            for (const std::string& alias : table.aliases) {
                aliases += (aliases.empty() ? " (also " : ", ") + alias;
            }
            std::printf("%s  charmap%s\n", table.name.c_str(),
                        aliases.empty() ? "" : (aliases + ')').c_str());
        }
    }
    if (options.iconv) {
        const result<std::vector<std::string>> charsets = iconv_charsets();
        if (!charsets) {
            report_failure(report, "iconv", charsets.error());
            return exit_status::trouble;
        }
        for (const std::string& charset : *charsets) {
            std::printf("iconv:%s\n", charset.c_str());
        }
    }
    return exit_status::success;
}

} // namespace

void add_list(command_line& line) {
    auto options = std::make_shared<list_options>();
    verb_line verb = line.verb("list", "List the tables the verbs take by name: the bundled "
                                       "tables with their entries and titles");
    verb.flag("--charmaps", options->charmaps, "Also glibc's charmaps, with their aliases");
    verb.flag("--iconv", options->iconv, "Also the charsets of the system's iconv");
    add_color_option(verb, options->color);
    verb.run([options] { return run_list(*options); });
}
