// maptool convert -f TABLE | -t TABLE [FILE...]: text through a table, bytes of its code
// page to UTF-8 or back, with iconv's habits: what cannot be converted stops the run with
// its place and exit status 1, unless -c leaves it out or --replace puts something there.
#include "engine/convert.h"
#include "engine/files.h"
#include "engine/table_source.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>

namespace {

// What a bare --replace leaves in its value: no single character looks like it.
constexpr const char* BARE_REPLACE = "(default)";

struct convert_options {
    std::string from;
    std::string to;
    std::vector<std::string> files;
    std::string output;
    bool skip = false;
    std::string replace; // empty: not given
    bool no_ascii = false;
    std::string color = "auto";
};

// What --replace puts in the place of what cannot be converted: by default U+FFFD when
// decoding and "?" when encoding; a character given must be one the table can encode.
convert_settings settings_of(const convert_options& options, const code_page& page) {
    convert_settings settings;
    settings.way = options.from.empty() ? direction::encode : direction::decode;
    settings.action = options.skip               ? unmappable::skip
                      : !options.replace.empty() ? unmappable::replace
                                                 : unmappable::stop;
    const bool bare = options.replace.empty() || options.replace == BARE_REPLACE;
    const std::string wanted =
        bare ? (settings.way == direction::decode ? "\xEF\xBF\xBD" : "?") : options.replace;
    const std::optional<std::uint32_t> code = single_character(wanted);
    if (!code) {
        throw usage_error{"--replace: '" + options.replace + "' is not one UTF-8 character"};
    }
    if (settings.way == direction::decode) {
        settings.replacement = wanted;
    } else if (settings.action == unmappable::replace) {
        const std::int16_t byte = *code <= 0xFFFF ? page.encoded[*code] : -1;
        if (byte < 0) {
            throw usage_error{"--replace: the table has no byte for '" + wanted + "'"};
        }
        settings.replacement = std::string(1, static_cast<char>(byte));
    }
    return settings;
}

struct opened_input {
    std::string path;
    input_file file;
};

// Converts the inputs one after another into `out`; false after reporting why they stopped.
exit_status convert_all(const code_page& page, const convert_settings& settings,
                        std::vector<opened_input>& inputs, const byte_sink& out,
                        diagnostics& report) {
    for (opened_input& input : inputs) {
        const std::string name = display_name(input.path);
        const result<std::optional<stopped_at>> done =
            convert_stream(page, settings, input.file.get(), out);
        if (!done) {
            report_failure(report, name, done.error());
            return exit_status::trouble;
        }
        if (*done) {
            const stopped_at& place = **done;
            finding found;
            found.message = place.what + " (byte offset " + std::to_string(place.offset) + ")";
            found.file = name;
            found.line = place.line;
            found.column = place.column;
            report.report(std::move(found));
            return exit_status::findings;
        }
    }
    return exit_status::success;
}

exit_status run_convert(const convert_options& options) {
    text_renderer text(stderr, use_color(options.color, stderr), false);
    // Only what keeps a DSC file from being read belongs here; its warnings are for check.
    warning_policy errors_only;
    errors_only.enabled.reset();
    diagnostics report(errors_only, text);
    const std::string& table_path = options.from.empty() ? options.to : options.from;
    const result<loaded_table> table = load_table(table_path, report);
    if (!table) {
        report_failure(report, display_name(table_path), table.error());
        return exit_status::trouble;
    }
    const code_page page = make_code_page(table->table, !options.no_ascii);
    const convert_settings settings = settings_of(options, page);

    const bool to_file = !options.output.empty() && options.output != "-";
    if (refuse_own_file(report, table_path, options.output, "the output")) {
        return exit_status::trouble;
    }
    std::vector<opened_input> inputs;
    for (const std::string& path :
         options.files.empty() ? std::vector<std::string>{"-"} : options.files) {
        result<input_file> opened = open_input(path);
        if (!opened) {
            report_failure(report, display_name(path), opened.error());
            return exit_status::trouble;
        }
        // A pipe or a terminal is no file that -o could name (and Windows cannot tell).
        if (to_file && is_regular_file(descriptor_of(opened->get())) &&
            is_the_file(opened->get(), options.output)) {
            report.report(file_error(display_name(path), "is the output file too; write the "
                                                         "output to another file"));
            return exit_status::trouble;
        }
        inputs.push_back({path, std::move(*opened)});
    }

    if (!to_file) {
        set_binary(stdout);
        int write_error = 0;
        const exit_status status = convert_all(
            page, settings, inputs,
            [&write_error](std::string_view bytes) {
                if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) {
                    return true;
                }
                write_error = errno;
                return false;
            },
            report);
        if (write_error == 0 && std::fflush(stdout) != 0) {
            write_error = errno;
        }
        if (write_error != 0) {
            report.report(file_error("<stdout>", "cannot write: " + error_text(write_error)));
            return exit_status::trouble;
        }
        return status;
    }
    // A file replaces the old one only when everything converted; else the old one stays.
    exit_status status = exit_status::success;
    bool write_failed = false;
    const result<written_file> written = replace_file_with(options.output, [&](std::FILE* file) {
        status = convert_all(
            page, settings, inputs,
            [&write_failed, file](std::string_view bytes) {
                write_failed = std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size();
                return !write_failed;
            },
            report);
        return status == exit_status::success;
    });
    if (!written && (write_failed || status == exit_status::success)) {
        report.report(file_error(options.output, "cannot write: " + written.error().message));
        return exit_status::trouble;
    }
    if (written) {
        report_in_place(report, options.output, *written);
    }
    return status;
}

} // namespace

void add_convert(command_line& line) {
    auto options = std::make_shared<convert_options>();
    verb_line verb = line.verb("convert", "Decode a code page's bytes to UTF-8 with a table (-f), "
                                          "or encode UTF-8 to them (-t)");
    verb.optional_words("FILE", options->files, "The input files; - or none: standard input");
    verb.option("-f,--from TABLE", options->from,
                "Decode bytes of this table's code page to UTF-8");
    verb.option("-t,--to TABLE", options->to, "Encode UTF-8 to bytes of this table's code page");
    verb.exclusive("--from", "--to");
    verb.option("-o,--output FILE", options->output,
                "Write to this file, replaced only when all converted (default: standard "
                "output)");
    verb.flag("-c", options->skip, "Leave out what the table cannot convert");
    verb.optional_value("--replace CHAR", options->replace, BARE_REPLACE,
                        "Put this character in place of what the table cannot convert "
                        "(default: U+FFFD when decoding, ? when encoding)");
    verb.exclusive("-c", "--replace");
    verb.flag("--no-ascii", options->no_ascii,
              "Bytes 00 to 7F the table does not list are not ASCII but unconvertible");
    add_color_option(verb, options->color);
    verb.run([options] {
        if (options->from.empty() && options->to.empty()) {
            throw usage_error{"-f TABLE or -t TABLE is required"};
        }
        const bool table_from_stdin = options->from == "-" || options->to == "-";
        const auto stdin_inputs =
            options->files.empty() ? 1
                                   : std::count(options->files.begin(), options->files.end(), "-");
        if (stdin_inputs + (table_from_stdin ? 1 : 0) > 1) {
            throw usage_error{"standard input can be read only once: name the table or the "
                              "input FILE"};
        }
        return run_convert(*options);
    });
}
