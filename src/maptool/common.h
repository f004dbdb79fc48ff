// What several verbs share: the options that shape diagnostics, and opening inputs.
#pragma once

#include "maptool/diagnostics.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct diagnostic_options {
    std::vector<std::string> warnings; // the values of -W
    std::string color = "auto";
};

// -W and --color, checked while the command line is read.
void add_diagnostic_options(CLI::App& verb, diagnostic_options& options);

// --color alone, for the verbs whose only diagnostics are their errors and warnings.
void add_color_option(CLI::App& verb, std::string& color);

// A printer to `out` under the options.
diagnostic_printer make_printer(const diagnostic_options& options, std::FILE* out);

struct input_closer {
    void operator()(std::FILE* file) const;
};
using input_file = std::unique_ptr<std::FILE, input_closer>;

// Opens a file for reading bytes as they are; "-" is standard input. On failure the reason
// is in error.
input_file open_input(const std::string& path, std::string& error);

// The name a file goes by in messages: "<stdin>" for "-".
std::string display_name(const std::string& path);

// Puts a stream into binary mode where the system tells text from binary.
void set_binary(std::FILE* stream);

// Whether path leads to the open file itself, by any name or link. A path that does not
// open is no file yet, or none this run could have read.
bool is_the_file(std::FILE* file, const std::string& path);

// Reports an error about a whole file.
void report_error(diagnostic_printer& printer, std::string_view file, std::string message);

// A number in upper-case hexadecimal, with at least `digits` digits.
std::string hex_digits(std::uint32_t value, std::size_t digits);
