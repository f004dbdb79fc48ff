// The command line as the verbs see it: each verb declares its words and options here, and
// command_line.cpp alone turns them into the option parser's terms (CLI11, a header-only
// library whose code would otherwise be compiled again in every verb's file).
#pragma once

#include "engine/result.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// A command line that cannot be run: said on standard error with a usage line, exit 2.
struct usage_error {
    std::string message;
};

// One verb's words, options and what it does.
class verb_line {
  public:
    verb_line(CLI::App& verb, exit_status& status) : verb_(verb), status_(status) {}

    // A word that is no option; `many` takes every such word.
    verb_line& word(const char* name, std::string& value, const char* help, bool required);
    verb_line& words(const char* name, std::vector<std::string>& values, const char* help);
    // Every word that is no option, none at all allowed.
    verb_line& optional_words(const char* name, std::vector<std::string>& values, const char* help);
    // An option with a value; names such as "-o,--output".
    verb_line& option(const char* names, std::string& value, const char* help);
    // An option whose value is one of `choices`; the default is shown in the help.
    verb_line& choice(const char* names, std::string& value, const char* help,
                      const std::vector<std::string>& choices);
    verb_line& flag(const char* names, bool& value, const char* help);
    // An option given bare (value becomes `bare`) or as NAME=VALUE; unlike option(), it
    // never takes the next word as its value.
    verb_line& optional_value(const char* name, std::string& value, const char* bare,
                              const char* help);
    // -W CLASS, each value checked as it is read.
    verb_line& warnings(std::vector<std::string>& values);
    // Two words or options that cannot both be given, by their first names.
    verb_line& exclusive(const char* a, const char* b);
    // Runs when the command line chooses this verb, after every word was read.
    verb_line& run(std::function<exit_status()> action);

  private:
    CLI::App& verb_;
    exit_status& status_;
};

// The whole command line: maptool's verbs and its own options.
class command_line {
  public:
    command_line(std::string description, std::string version);
    ~command_line();
    command_line(const command_line&) = delete;
    command_line& operator=(const command_line&) = delete;

    verb_line verb(const char* name, const char* description);

    // Reads the words after the program's name and runs the chosen verb; the exit status.
    int run(const std::vector<std::string>& arguments);

  private:
    std::unique_ptr<CLI::App> app_;
    exit_status status_ = exit_status::success;
};
