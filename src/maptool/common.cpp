#include "maptool/common.h"

#include "table/file_identity.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

void add_diagnostic_options(CLI::App& verb, diagnostic_options& options) {
    verb.add_option("-W", options.warnings,
                    "Warnings: -Wall, -Werror, -Werror=CLASS, -WCLASS, -Wno-CLASS")
        ->type_name("CLASS")
        ->check(CLI::Validator(
            [](std::string& value) {
                warning_policy scratch;
                return apply_warning_option(scratch, value)
                           ? std::string()
                           : "unknown warning option '-W" + value + "'";
            },
            "", ""));
    add_color_option(verb, options.color);
}

void add_color_option(CLI::App& verb, std::string& color) {
    verb.add_option("--color", color, "Colour the diagnostics: auto, always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
}

diagnostic_printer make_printer(const diagnostic_options& options, std::FILE* out) {
    diagnostic_printer printer;
    printer.out = out;
    for (const std::string& value : options.warnings) {
        apply_warning_option(printer.policy, value);
    }
    choose_color(options.color, out, printer.color);
    return printer;
}

void input_closer::operator()(std::FILE* file) const {
    if (file != stdin) {
        std::fclose(file);
    }
}

void set_binary(std::FILE* stream) {
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

input_file open_input(const std::string& path, std::string& error) {
    if (path == "-") {
        set_binary(stdin);
        return input_file(stdin);
    }
    input_file file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
    }
    return file;
}

std::string display_name(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

bool is_the_file(std::FILE* file, const std::string& path) {
    const input_file other(std::fopen(path.c_str(), "rb"));
    return other && same_file(fileno(file), fileno(other.get()));
}

void report_error(diagnostic_printer& printer, std::string_view file, std::string message) {
    finding found;
    found.message = std::move(message);
    report(printer, file, found);
}

std::string hex_digits(std::uint32_t value, std::size_t digits) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint32_t rest = value; rest != 0 || text.size() < digits; rest >>= 4) {
        text.insert(text.begin(), DIGITS[rest & 0xF]);
    }
    return text;
}
