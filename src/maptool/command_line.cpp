#include "maptool/command_line.h"

#include "engine/diagnostics.h"
#include "maptool/completion.h"
#include "platform/files.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

// "-o,--output FILE": {"-o", "--output"} and "FILE".
std::pair<std::vector<std::string>, std::string> split_names(std::string_view text) {
    const std::size_t space = text.find(' ');
    const std::string value(space == std::string_view::npos ? "" : text.substr(space + 1));
    std::string_view names = text.substr(0, space);
    std::vector<std::string> split;
    while (!names.empty()) {
        const std::size_t comma = names.find(',');
        split.emplace_back(names.substr(0, comma));
        names.remove_prefix(comma == std::string_view::npos ? names.size() : comma + 1);
    }
    return {split, value};
}

// The names as the option parser takes them: "-o,--output".
std::string parser_names(const option_declaration& declared) {
    std::string joined;
    for (const std::string& name : declared.names) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return joined;
}

std::string joined(const std::vector<std::string>& words, std::string_view between) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : std::string(between)) + word;
    }
    return text;
}

} // namespace

option_declaration& verb_line::declare(const char* names, const std::string& help, bool is_word) {
    auto [split, value] = split_names(names);
    option_declaration& declared = declaration_.options.emplace_back();
    declared.names = std::move(split);
    declared.value = is_word && value.empty() ? declared.names[0] : value;
    declared.help = help;
    declared.is_word = is_word;
    return declared;
}

verb_line& verb_line::word(const char* name, std::string& value, const std::string& help,
                           bool required) {
    option_declaration& declared = declare(name, help, true);
    declared.required = required;
    CLI::Option* added = verb_.add_option(declared.names[0], value, help);
    if (required) {
        added->required();
    }
    return *this;
}

verb_line& verb_line::words(const char* name, std::vector<std::string>& values,
                            const std::string& help) {
    option_declaration& declared = declare(name, help, true);
    declared.many = declared.required = true;
    verb_.add_option(declared.names[0], values, help)->required();
    return *this;
}

verb_line& verb_line::optional_words(const char* name, std::vector<std::string>& values,
                                     const std::string& help) {
    option_declaration& declared = declare(name, help, true);
    declared.many = true;
    verb_.add_option(declared.names[0], values, help);
    return *this;
}

verb_line& verb_line::option(const char* names, std::string& value, const std::string& help) {
    const option_declaration& declared = declare(names, help, false);
    verb_.add_option(parser_names(declared), value, help);
    return *this;
}

verb_line& verb_line::choice(const char* names, std::string& value, const std::string& help,
                             const std::vector<std::string>& choices) {
    option_declaration& declared = declare(names, help, false);
    declared.choices = choices;
    declared.default_value = value;
    verb_.add_option(parser_names(declared), value, help)
        ->check(CLI::Validator(
            [choices](std::string& given) {
                return std::find(choices.begin(), choices.end(), given) != choices.end()
                           ? std::string()
                           : "'" + given + "' is none of " + joined(choices, ", ");
            },
            "", ""));
    return *this;
}

verb_line& verb_line::flag(const char* names, bool& value, const std::string& help) {
    const option_declaration& declared = declare(names, help, false);
    verb_.add_flag(parser_names(declared), value, help);
    return *this;
}

verb_line& verb_line::optional_value(const char* names, std::string& value, const char* bare,
                                     const std::string& help) {
    option_declaration& declared = declare(names, help, false);
    declared.value_optional = true;
    // A flag with a default value takes "=VALUE" but never the word after it.
    verb_.add_flag(parser_names(declared) + "{" + bare + "}", value, help);
    return *this;
}

verb_line& verb_line::warnings(std::vector<std::string>& values) {
    option_declaration& declared =
        declare("-W CLASS",
                "Warnings: -Wall (or -Wextra), -Werror, -Werror=CLASS, -WCLASS, -Wno-CLASS", false);
    declared.many = true;
    // Each -W takes its own value only, so that `-Werror a.dsc` leaves a.dsc a file.
    verb_.add_option("-W", values, declared.help)
        ->allow_extra_args(false)
        ->transform(CLI::Validator(
            [](std::string& value) {
                // -Wextra, typed by a compiler's habit, asks for what -Wall does.
                if (value == "extra") {
                    value = "all";
                }
                warning_policy scratch;
                const result<void> applied = apply_warning_option(scratch, value);
                return applied ? std::string() : applied.error().message;
            },
            "", ""));
    declaration_.footer = "Warning classes (-Wall turns on those marked off):\n";
    const auto enabled = warning_policy::default_enabled();
    for (std::size_t i = 0; i < WARNING_CLASSES; ++i) {
        declaration_.footer += "  " + std::string(class_name(static_cast<warning_class>(i))) +
                               (enabled[i] ? "\n" : " (off)\n");
    }
    return *this;
}

verb_line& verb_line::exclusive(const char* a, const char* b) {
    declaration_.exclusive.emplace_back(a, b);
    verb_.get_option(a)->excludes(verb_.get_option(b));
    return *this;
}

verb_line& verb_line::run(std::function<exit_status()> action) {
    verb_.callback([&status = status_, action = std::move(action)] { status = action(); });
    return *this;
}

namespace {

// How one option is shown in help: "-o, --output FILE", "--replace[=CHAR]", "FILE...".
std::string shown(const option_declaration& declared) {
    if (declared.is_word) {
        return declared.names[0] + (declared.many ? "..." : "");
    }
    std::string text = joined(declared.names, ", ");
    if (declared.value_optional) {
        return text + "[=" + declared.value + "]";
    }
    return declared.value.empty() ? text : text + " " + declared.value;
}

// Text broken into lines of at most `width` columns, each after `indent` spaces but the
// first, which starts where the cursor stands.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = indent;
    bool first = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
        if (!first && column + 1 + word.size() > width) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out;
}

const std::size_t HELP_COLUMN = 24;
const std::size_t HELP_WIDTH = 80;
const std::size_t VERB_COLUMN = 12;

// "  -o, --output FILE     What it does", the help in its own column.
std::string help_row(const std::string& shown_as, const std::string& help) {
    std::string row = "  " + shown_as;
    if (row.size() + 2 > HELP_COLUMN) {
        row += '\n' + std::string(HELP_COLUMN, ' ');
    } else {
        row.resize(HELP_COLUMN, ' ');
    }
    return row + wrapped(help, HELP_COLUMN, HELP_WIDTH) + '\n';
}

} // namespace

std::string usage_line(const verb_declaration& verb) {
    std::string line = "Usage: maptool " + verb.name;
    if (std::any_of(verb.options.begin(), verb.options.end(),
                    [](const option_declaration& declared) { return !declared.is_word; })) {
        line += " [OPTIONS]";
    }
    for (const option_declaration& declared : verb.options) {
        if (declared.is_word) {
            line += " " + (declared.required ? shown(declared) : "[" + shown(declared) + "]");
        }
    }
    return line;
}

std::string verb_help(const verb_declaration& verb) {
    std::string words;
    std::string options;
    for (const option_declaration& declared : verb.options) {
        std::string help = declared.help;
        if (!declared.default_value.empty()) {
            help += " (default: " + declared.default_value + ")";
        }
        (declared.is_word ? words : options) += help_row(shown(declared), help);
    }
    std::string text = usage_line(verb) + "\n" + wrapped(verb.description, 0, HELP_WIDTH) + "\n";
    if (!words.empty()) {
        text += "\n" + words;
    }
    if (!options.empty()) {
        text += "\nOptions:\n" + options;
    }
    return verb.footer.empty() ? text : text + "\n" + verb.footer;
}

namespace {

// The verbs, one a line with what each does, as `maptool help` lists them.
std::string verb_list(const std::string& description, const std::deque<verb_declaration>& verbs) {
    std::string text = "Usage: maptool VERB [OPTIONS] [FILE...]\n" +
                       wrapped(description, 0, HELP_WIDTH) + "\n\nVerbs:\n";
    for (const verb_declaration& verb : verbs) {
        if (!verb.hidden) {
            std::string name = "  " + verb.name;
            name.resize(std::max<std::size_t>(name.size() + 2, VERB_COLUMN), ' ');
            text += name + wrapped(verb.description, VERB_COLUMN, HELP_WIDTH) + '\n';
        }
    }
    return text + "\nOptions:\n" + help_row("-h, --help", "Show this list") +
           help_row("-V, --version", "Show maptool's version") +
           "\n'maptool help VERB' shows a verb's options.\n";
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

// The candidate within two edits of word, nearest first; "" when none is.
std::string nearest(std::string_view word, const std::vector<std::string>& candidates) {
    std::string found;
    std::size_t best = 3;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = edit_distance(word, candidate);
        if (distance < best) {
            best = distance;
            found = candidate;
        }
    }
    return found;
}

// The word where the verb stands, when it names no verb: the nearest verb within two
// edits, else the list of them.
std::string unknown_verb(const std::deque<verb_declaration>& verbs, const std::string& word) {
    std::vector<std::string> names;
    for (const verb_declaration& verb : verbs) {
        if (!verb.hidden) {
            names.push_back(verb.name);
        }
    }
    const std::string near = nearest(word, names);
    return "unknown verb '" + word + "'; " +
           (near.empty() ? "the verbs are " + joined(names, ", ") : "did you mean '" + near + "'?");
}

const verb_declaration* find_verb(const std::deque<verb_declaration>& verbs,
                                  std::string_view name) {
    const auto found =
        std::find_if(verbs.begin(), verbs.end(),
                     [name](const verb_declaration& verb) { return verb.name == name; });
    return found == verbs.end() ? nullptr : &*found;
}

const option_declaration* find_option(const verb_declaration& verb, std::string_view name) {
    for (const option_declaration& declared : verb.options) {
        if (std::find(declared.names.begin(), declared.names.end(), name) != declared.names.end()) {
            return &declared;
        }
    }
    return nullptr;
}

// "-f/--from", as a usage error names an option.
std::string named(const option_declaration& declared) {
    return joined(declared.names, "/");
}

// A word the verb took for none of its own: an unknown option, or one word too many.
std::string extra_word(const verb_declaration& verb, const std::string& word) {
    if (!word.starts_with('-') || word == "-") {
        return "'" + word + "' is one word too many";
    }
    // Long names only: every short one is one edit away from any other.
    std::vector<std::string> names;
    for (const option_declaration& declared : verb.options) {
        std::copy_if(declared.names.begin(), declared.names.end(), std::back_inserter(names),
                     [](const std::string& name) { return name.starts_with("--"); });
    }
    const std::string near = nearest(word.substr(0, word.find('=')), names);
    return "unknown option '" + word + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?");
}

// The option parser's complaint told in maptool's words. The parser names the option it
// is about first, "--from: ...".
std::string in_own_words(const verb_declaration& verb, const CLI::App& parsed,
                         const CLI::ParseError& error) {
    const std::string what = error.what();
    const option_declaration* about = find_option(verb, what.substr(0, what.find(": ")));
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !parsed.remaining().empty()) {
        return extra_word(verb, parsed.remaining().front());
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && about != nullptr) {
        return named(*about) + " needs a value: " + about->value;
    }
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr && about != nullptr) {
        return named(*about) + ": " + what.substr(what.find(": ") + 2);
    }
    for (const auto& [a, b] : verb.exclusive) {
        if (parsed.count(a) > 0 && parsed.count(b) > 0) {
            return named(*find_option(verb, a)) + " and " + named(*find_option(verb, b)) +
                   " cannot be given together";
        }
    }
    for (const option_declaration& declared : verb.options) {
        if (declared.required && parsed.count(declared.names[0]) == 0) {
            return declared.names[0] + " is missing";
        }
    }
    return "cannot read the command line: " + what;
}

int usage(const std::string& message, const verb_declaration* verb) {
    const std::string who = verb == nullptr ? "maptool" : "maptool " + verb->name;
    const std::string line =
        verb == nullptr ? "Usage: maptool VERB [OPTIONS] [FILE...]" : usage_line(*verb);
    write_text(stderr,
               who + ": " + message + "\n" + line + "; see '" +
                   (verb == nullptr ? std::string("maptool help") : "maptool help " + verb->name) +
                   "'\n");
    return static_cast<int>(exit_status::trouble);
}

} // namespace

command_line::command_line(std::string description, std::string version)
    : app_(std::make_unique<CLI::App>(std::move(description), "maptool")),
      version_(std::move(version)) {
    app_->require_subcommand(1, 1);
    app_->fallthrough(false);
    // "/tables/cp866.dsc" is a path, on Windows too; options start with '-'. The verbs
    // take this over as they are added.
    app_->allow_windows_style_options(false);
}

command_line::~command_line() = default;

verb_line command_line::verb(const char* name, const char* description, bool hidden) {
    verb_declaration& declared = verbs_.emplace_back();
    declared.name = name;
    declared.description = description;
    declared.hidden = hidden;
    CLI::App& verb = *app_->add_subcommand(name, description);
    verb.set_help_flag("-h,--help", "Show this help");
    declared.options.push_back({{"-h", "--help"}, "", "Show this help"});
    return verb_line(verb, declared, status_);
}

void command_line::add_own_verbs() {
    if (own_verbs_added_) {
        return;
    }
    own_verbs_added_ = true;
    // help [VERB]: the verb's help, as VERB --help shows it; without a verb, the verbs.
    auto verb_name = std::make_shared<std::string>();
    verb("help", "Show the verbs, or a verb's options")
        .word("VERB", *verb_name, "The verb", false)
        .run([this, verb_name] {
            if (verb_name->empty()) {
                write_text(stdout, verb_list(app_->get_description(), verbs_));
                return exit_status::success;
            }
            const verb_declaration* found = find_verb(verbs_, *verb_name);
            if (found == nullptr) {
                throw usage_error{unknown_verb(verbs_, *verb_name)};
            }
            write_text(stdout, verb_help(*found));
            return exit_status::success;
        });
    verb("version", "Show maptool's version, as --version does").run([this] {
        write_text(stdout, version_ + "\n");
        return exit_status::success;
    });
    add_completion(*this);
}

std::vector<std::string> command_line::parsed_names(const std::string& verb) const {
    std::vector<std::string> names;
    // A word has neither short nor long names.
    for (const CLI::Option* option : app_->get_subcommand(verb)->get_options()) {
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
    }
    return names;
}

int command_line::run(const std::vector<std::string>& arguments) {
    add_own_verbs();
    if (arguments.empty()) {
        return usage("no verb given", nullptr);
    }
    const std::string& first = arguments[0];
    if (first == "-h" || first == "--help") {
        write_text(stdout, verb_list(app_->get_description(), verbs_));
        return static_cast<int>(exit_status::success);
    }
    if (first == "-V" || first == "--version") {
        write_text(stdout, version_ + "\n");
        return static_cast<int>(exit_status::success);
    }
    // The verb comes first; options and files follow it in any order.
    if (first.starts_with('-')) {
        return usage("'" + first + "' stands before the verb: options come after it", nullptr);
    }
    const verb_declaration* verb = find_verb(verbs_, first);
    if (verb == nullptr) {
        return usage(unknown_verb(verbs_, first), nullptr);
    }
    // CLI11 takes the words last first.
    std::vector<std::string> words(arguments.rbegin(), arguments.rend());
    try {
        app_->parse(words);
    } catch (const CLI::CallForHelp&) {
        write_text(stdout, verb_help(*verb));
        return static_cast<int>(exit_status::success);
    } catch (const CLI::ParseError& error) {
        return usage(in_own_words(*verb, *app_->get_subcommand(verb->name), error), verb);
    } catch (const usage_error& error) {
        return usage(error.message, verb);
    }
    return static_cast<int>(status_);
}
