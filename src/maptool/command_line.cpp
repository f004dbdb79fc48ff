#include "maptool/command_line.h"

#include "engine/diagnostics.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <new>

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
    verb_.add_option("-W", values, "Warnings: -Wall, -Werror, -Werror=CLASS, -WCLASS, -Wno-CLASS")
        ->type_name("CLASS")
        ->check(CLI::Validator(
            [](std::string& value) {
                warning_policy scratch;
                const result<void> applied = apply_warning_option(scratch, value);
                return applied ? std::string() : applied.error().message;
            },
            "", ""));
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

// maptool help VERB: the verb's help, as VERB --help shows it.
void add_help(CLI::App& app) {
    auto verb_name = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "Show the help of a verb");
    help->add_option("VERB", *verb_name, "The verb");
    help->callback([&app, verb_name] {
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
    });
}

int usage(const std::string& message) {
    std::fprintf(stderr,
                 "maptool: %s\nUsage: maptool VERB [OPTIONS] FILE...; see 'maptool --help'\n",
                 message.c_str());
    return static_cast<int>(exit_status::trouble);
}

} // namespace

command_line::command_line(std::string description, std::string version)
    : app_(std::make_unique<CLI::App>(std::move(description), "maptool")) {
    app_->set_version_flag("--version", std::move(version));
    app_->require_subcommand(1, 1);
    app_->fallthrough(false);
}

command_line::~command_line() = default;

verb_line command_line::verb(const char* name, const char* description) {
    return verb_line(*app_->add_subcommand(name, description), status_);
}

int command_line::run(const std::vector<std::string>& arguments) {
    add_help(*app_);
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
