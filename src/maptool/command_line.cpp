#include "maptool/command_line.h"

#include "engine/diagnostics.h"
#include "platform/files.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string_view>

verb_line& verb_line::word(const char* name, std::string& value, const char* help, bool required) {
    CLI::Option* added = verb_.add_option(name, value, help);
    if (required) {
        added->required();
    }
    return *this;
}

verb_line& verb_line::words(const char* name, std::vector<std::string>& values, const char* help) {
    verb_.add_option(name, values, help)->required();
    return *this;
}

verb_line& verb_line::optional_words(const char* name, std::vector<std::string>& values,
                                     const char* help) {
    verb_.add_option(name, values, help);
    return *this;
}

verb_line& verb_line::option(const char* names, std::string& value, const char* help) {
    verb_.add_option(names, value, help);
    return *this;
}

verb_line& verb_line::choice(const char* names, std::string& value, const char* help,
                             const std::vector<std::string>& choices) {
    verb_.add_option(names, value, help)->check(CLI::IsMember(choices))->capture_default_str();
    return *this;
}

verb_line& verb_line::flag(const char* names, bool& value, const char* help) {
    verb_.add_flag(names, value, help);
    return *this;
}

verb_line& verb_line::optional_value(const char* name, std::string& value, const char* bare,
                                     const char* help) {
    // A flag with a default value takes "=VALUE" but never the word after it.
    verb_.add_flag(std::string(name) + "{" + bare + "}", value, help);
    return *this;
}

verb_line& verb_line::warnings(std::vector<std::string>& values) {
    // Each -W takes its own value only, so that `-Werror a.dsc` leaves a.dsc a file.
    verb_.add_option("-W", values, "Warnings: -Wall, -Werror, -Werror=CLASS, -WCLASS, -Wno-CLASS")
        ->type_name("CLASS")
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& value) {
                warning_policy scratch;
                const result<void> applied = apply_warning_option(scratch, value);
                return applied ? std::string() : applied.error().message;
            },
            "", ""));
    std::string classes = "Warning classes (-Wall turns on those marked off):\n";
    const auto enabled = warning_policy::default_enabled();
    for (std::size_t i = 0; i < WARNING_CLASSES; ++i) {
        classes += "  " + std::string(class_name(static_cast<warning_class>(i))) +
                   (enabled[i] ? "\n" : " (off)\n");
    }
    verb_.footer(classes);
    return *this;
}

verb_line& verb_line::exclusive(const char* a, const char* b) {
    verb_.get_option(a)->excludes(verb_.get_option(b));
    return *this;
}

verb_line& verb_line::run(std::function<exit_status()> action) {
    verb_.callback([&status = status_, action = std::move(action)] { status = action(); });
    return *this;
}

namespace {

// The verbs, one a line with what each does, as `maptool help` lists them.
std::string verb_list(const CLI::App& app) {
    std::string text = "Usage: maptool VERB [OPTIONS] [FILE...]\n\nVerbs:\n";
    for (const CLI::App* verb : app.get_subcommands({})) {
        std::string name = verb->get_name();
        name.resize(std::max<std::size_t>(name.size() + 2, 10), ' ');
        text += "  " + name + verb->get_description() + '\n';
    }
    return text + "\n'maptool help VERB' shows a verb's options.\n";
}

// How many single-letter edits (insertions, deletions, changes, two letters swapped) make
// one word of the other.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The word where the verb stands, when it names no verb: the nearest verb within two
// edits, else the list of them.
std::string unknown_verb(const CLI::App& app, const std::string& word) {
    std::string nearest;
    std::size_t best = 3;
    std::string names;
    for (const CLI::App* verb : app.get_subcommands({})) {
        const std::size_t distance = edit_distance(word, verb->get_name());
        if (distance < best) {
            best = distance;
            nearest = verb->get_name();
        }
        names += (names.empty() ? "" : ", ") + verb->get_name();
    }
    return "unknown verb '" + word + "'; " +
           (nearest.empty() ? "the verbs are " + names : "did you mean '" + nearest + "'?");
}

// maptool help VERB: the verb's help, as VERB --help shows it; without a verb, the verbs.
void add_help(CLI::App& app) {
    auto verb_name = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "Show the verbs, or a verb's options");
    help->add_option("VERB", *verb_name, "The verb");
    help->callback([&app, verb_name] {
        if (verb_name->empty()) {
            write_text(stdout, verb_list(app));
            return;
        }
        CLI::App* verb = nullptr;
        try {
            verb = app.get_subcommand(*verb_name);
        } catch (const CLI::OptionNotFound&) {
            throw usage_error{unknown_verb(app, *verb_name)};
        }
        write_text(stdout, verb->help("maptool"));
    });
}

int usage(const std::string& message) {
    write_text(stderr, "maptool: " + message +
                           "\nUsage: maptool VERB [OPTIONS] FILE...; see 'maptool --help'\n");
    return static_cast<int>(exit_status::trouble);
}

} // namespace

command_line::command_line(std::string description, std::string version)
    : app_(std::make_unique<CLI::App>(std::move(description), "maptool")) {
    app_->set_version_flag("--version", std::move(version));
    app_->require_subcommand(1, 1);
    app_->fallthrough(false);
    // "/tables/cp866.dsc" is a path, on Windows too; options start with '-'. The verbs
    // take this over as they are added.
    app_->allow_windows_style_options(false);
}

command_line::~command_line() = default;

verb_line command_line::verb(const char* name, const char* description) {
    return verb_line(*app_->add_subcommand(name, description), status_);
}

int command_line::run(const std::vector<std::string>& arguments) {
    add_help(*app_);
    // The verb comes first; options and files follow it in any order.
    if (!arguments.empty() && arguments[0].starts_with('-') && arguments[0] != "-h" &&
        arguments[0] != "--help" && arguments[0] != "--version") {
        return usage("'" + arguments[0] + "' stands before the verb: options come after it");
    }
    if (!arguments.empty() && !arguments[0].starts_with('-')) {
        try {
            (void)app_->get_subcommand(arguments[0]);
        } catch (const CLI::OptionNotFound&) {
            return usage(unknown_verb(*app_, arguments[0]));
        }
    }
    // CLI11 takes the words last first.
    std::vector<std::string> words(arguments.rbegin(), arguments.rend());
    try {
        app_->parse(words);
    } catch (const CLI::CallForHelp& request) {
        return app_->exit(request);
    } catch (const CLI::CallForAllHelp& request) {
        return app_->exit(request);
    } catch (const CLI::CallForVersion& request) {
        return app_->exit(request);
    } catch (const CLI::ParseError& error) {
        return usage(error.what());
    } catch (const usage_error& error) {
        return usage(error.message);
    }
    return static_cast<int>(status_);
}
