// The command line as the verbs see it: each verb declares its words and options here, and
// command_line.cpp alone turns them into the option parser's terms (CLI11, a header-only
// library whose code would otherwise be compiled again in every verb's file). The same
// declarations give the help, the usage lines and the shell completions, so none of them
// can tell another story than the parser.
#pragma once

#include "engine/result.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

// A command line that cannot be run: said on standard error with a usage line, exit 2.
struct usage_error {
    std::string message;
};

// A word or an option as declared. Its value's name says what it takes, and completion
// offers that: TABLE (any table source), DSC (DSC files), FILE, DIR, CHARSET (an iconv
// name), CLASS (a warning class); a choice offers its choices; any other name, nothing.
struct option_declaration {
    std::vector<std::string> names; // "-o", "--output"; a word's one name: "SOURCE"
    std::string value;              // "FILE"; "" for a flag
    std::string help;
    std::vector<std::string> choices = {};
    std::string default_value = {}; // a choice's, as help shows it
    bool is_word = false;
    bool many = false;
    bool required = false;
    bool value_optional = false; // --replace or --replace=CHAR
};

struct verb_declaration {
    std::string name;
    std::string description;
    std::vector<option_declaration> options; // words and options, as declared
    std::string footer;                      // after the options in help
    std::vector<std::pair<std::string, std::string>> exclusive = {}; // pairs, by first names
    bool hidden = false; // left out of the verb list (completion's own)
};

// One verb's words, options and what it does. A name string holds the names, then after
// a space the value's name: "-o,--output FILE"; for a word, its name, then what it takes
// when that is not the name itself: "SOURCE TABLE".
class verb_line {
  public:
    verb_line(CLI::App& verb, verb_declaration& declared, exit_status& status)
        : verb_(verb), declaration_(declared), status_(status) {}

    // A word that is no option.
    verb_line& word(const char* name, std::string& value, const std::string& help, bool required);
    // Every word that is no option, at least one.
    verb_line& words(const char* name, std::vector<std::string>& values, const std::string& help);
    // Every word that is no option, none at all allowed.
    verb_line& optional_words(const char* name, std::vector<std::string>& values,
                              const std::string& help);
    // An option with a value.
    verb_line& option(const char* names, std::string& value, const std::string& help);
    // An option whose value is one of `choices`; the value it holds is the default.
    verb_line& choice(const char* names, std::string& value, const std::string& help,
                      const std::vector<std::string>& choices);
    verb_line& flag(const char* names, bool& value, const std::string& help);
    // An option given bare (value becomes `bare`) or as NAME=VALUE; unlike option(), it
    // never takes the next word as its value.
    verb_line& optional_value(const char* names, std::string& value, const char* bare,
                              const std::string& help);
    // -W CLASS, each value checked as it is read.
    verb_line& warnings(std::vector<std::string>& values);
    // Two words or options that cannot both be given, by their first names.
    verb_line& exclusive(const char* a, const char* b);
    // Runs when the command line chooses this verb, after every word was read.
    verb_line& run(std::function<exit_status()> action);

  private:
    option_declaration& declare(const char* names, const std::string& help, bool is_word);

    CLI::App& verb_;
    verb_declaration& declaration_;
    exit_status& status_;
};

// The whole command line: maptool's verbs and its own options.
class command_line {
  public:
    command_line(std::string description, std::string version);
    ~command_line();
    command_line(const command_line&) = delete;
    command_line& operator=(const command_line&) = delete;

    // A verb; a hidden one is left out of the verb list and the completions.
    verb_line verb(const char* name, const char* description, bool hidden = false);
    // help, version and completion: added by run(), or here for those who look at them.
    void add_own_verbs();

    // Reads the words after the program's name and runs the chosen verb; the exit status.
    int run(const std::vector<std::string>& arguments);

    // Every verb as declared, hidden ones too.
    const std::deque<verb_declaration>& verbs() const { return verbs_; }
    // The names the parser takes for each option of a verb (a word has none), as it takes them.
    std::vector<std::string> parsed_names(const std::string& verb) const;

  private:
    std::unique_ptr<CLI::App> app_;
    std::deque<verb_declaration> verbs_; // a deque, so that a verb_line's reference stays good
    std::string version_;
    bool own_verbs_added_ = false;
    exit_status status_ = exit_status::success;
};

// "Usage: maptool convert [OPTIONS] [FILE...]"
std::string usage_line(const verb_declaration& verb);
// What `maptool help VERB` prints.
std::string verb_help(const verb_declaration& verb);
