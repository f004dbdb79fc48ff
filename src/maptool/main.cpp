// maptool: the everyday companion of mapmaker. Checks DSC files and reports every problem,
// builds maps safely, reads maps back, compares tables and imports them from standard data.
#include "maptool/options.h"
#include "platform/files.h"
#include "unicode/names.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string version_text() {
    const std::string names = names_available() ? "character names from " + names_source()
                                                : "built without character names";
    return "maptool " MAPTOOL_VERSION " (" + names + ")";
}

// maptool help VERB: the verb's help, as VERB --help shows it.
void add_help(CLI::App& app, exit_status& status) {
    auto verb_name = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "Show the help of a verb");
    help->add_option("VERB", *verb_name, "The verb");
    help->callback([&app, verb_name, &status] {
        if (verb_name->empty()) {
            std::fputs(app.help().c_str(), stdout);
            return;
        }
        CLI::App* verb = nullptr;
        try {
            verb = app.get_subcommand(*verb_name);
        } catch (const CLI::OptionNotFound&) {
            throw CLI::ValidationError("VERB", "no verb named '" + *verb_name + "'");
        }
        std::fputs(verb->help().c_str(), stdout);
        status = exit_status::success;
    });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Checks, builds, reads and compares 8-bit code page tables.", "maptool");
    app.set_version_flag("--version", version_text());
    app.require_subcommand(1, 1);
    app.fallthrough(false);
    exit_status status = exit_status::success;
    add_check(app, status);
    add_build(app, status);
    add_dump(app, status);
    add_diff(app, status);
    add_import(app, status);
    add_help(app, status);
    try {
        // CLI11 takes the words after the program's name, last first.
        std::vector<std::string> words = utf8_arguments(argc, argv);
        std::reverse(words.begin(), words.end());
        if (!words.empty()) {
            words.pop_back();
        }
        app.parse(words);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForAllHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForVersion& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr,
                     "maptool: %s\nUsage: maptool VERB [OPTIONS] FILE...; see 'maptool --help'\n",
                     error.what());
        return static_cast<int>(exit_status::trouble);
    } catch (const std::bad_alloc&) {
        std::fputs("maptool: out of memory\n", stderr);
        return static_cast<int>(exit_status::trouble);
    }
    return static_cast<int>(status);
}
