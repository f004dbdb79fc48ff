// maptool convert [-f TABLE] [-t TABLE] [FILE...]: text through tables, as iconv takes it:
// bytes of a code page to UTF-8 (-f), UTF-8 to bytes (-t), or one code page to another
// (both; UTF-8 on either side is the Unicode side). What cannot be converted stops the run
// with its place and exit status 1, unless --translit finds a close character, -c leaves it
// out or --replace puts something there.
#include "engine/convert.h"
#include "engine/files.h"
#include "engine/table_source.h"
#include "maptool/options.h"
#include "maptool/render_text.h"
#include "maptool/verbs.h"
#include "platform/files.h"
#include "unicode/transliteration.h"

#include <algorithm>
#include <cerrno>
#include <functional>

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
    bool translit = false;
    std::string color = "auto";
};

std::string upper_ascii(std::string text) {
    for (char& c : text) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return text;
}

// Whether -f's or -t's value names a table: given, and not the Unicode side, which iconv
// spells UTF-8 or UTF8 in any case.
bool is_table(const std::string& side) {
    const std::string upper = upper_ascii(side);
    return !side.empty() && upper != "UTF-8" && upper != "UTF8";
}

// Takes iconv's suffixes off the target's name: //TRANSLIT is --translit, //IGNORE is -c.
void take_iconv_suffixes(convert_options& options) {
    for (;;) {
        const std::string upper = upper_ascii(options.to);
        bool* flag = upper.ends_with("//TRANSLIT") ? &options.translit
                     : upper.ends_with("//IGNORE") ? &options.skip
                                                   : nullptr;
        if (flag == nullptr) {
            return;
        }
        *flag = true;
        options.to.resize(options.to.rfind("//"));
    }
}

// What --replace puts in the place of what cannot be converted: by default U+FFFD when
// decoding and "?" when encoding; a character given must be one the table can encode.
convert_settings settings_of(const convert_options& options, const code_page& page) {
    convert_settings settings;
    settings.way = !is_table(options.from) ? direction::encode
                   : is_table(options.to)  ? direction::recode
                                           : direction::decode;
    settings.translit = options.translit;
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

// One input converted into a sink: convert_stream or recode_stream with their tables.
using stream_converter =
    std::function<result<std::optional<stopped_at>>(std::FILE*, const byte_sink&)>;

// Converts the inputs one after another into `out`; false after reporting why they stopped.
exit_status convert_all(const stream_converter& convert, std::vector<opened_input>& inputs,
                        const byte_sink& out, diagnostics& report) {
    for (opened_input& input : inputs) {
        const std::string name = display_name(input.path);
        const result<std::optional<stopped_at>> done = convert(input.file.get(), out);
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
    // The tables on each side; UTF-8 or nothing is the Unicode side.
    std::vector<std::string> table_paths;
    for (const std::string& side : {options.from, options.to}) {
        if (is_table(side)) {
            table_paths.push_back(side);
        }
    }
    std::vector<code_page> pages;
    for (const std::string& path : table_paths) {
        const result<loaded_table> table = load_table(path, report);
        if (!table) {
            report_failure(report, display_name(path), table.error());
            return exit_status::trouble;
        }
        pages.push_back(make_code_page(table->table, !options.no_ascii));
    }
    // --replace's byte is the target's, the last table's.
    const convert_settings settings = settings_of(options, pages.back());
    const stream_converter convert = [&pages, &settings](std::FILE* in, const byte_sink& out) {
        return pages.size() == 2 ? recode_stream(pages[0], pages[1], settings, in, out)
                                 : convert_stream(pages[0], settings, in, out);
    };

    const bool to_file = !options.output.empty() && options.output != "-";
    for (const std::string& path : table_paths) {
        if (refuse_own_file(report, path, options.output, "the output")) {
            return exit_status::trouble;
        }
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
            convert, inputs,
            [&write_error](std::string_view bytes) {
                if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) {
                    return true;
                }
                write_error = errno;
                return false;
            },
            report);
        const int unflushed = standard_output_error();
        if (write_error == 0) {
            write_error = unflushed;
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
            convert, inputs,
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
    verb_line verb = line.verb("convert", "Convert text between code pages and UTF-8 through "
                                          "tables, as iconv does: -f TABLE, -t TABLE or both");
    verb.optional_words("FILE", options->files, "The input files; - or none: standard input");
    verb.option("-f,--from TABLE", options->from,
                "The input's table (default, or UTF-8: the input is UTF-8)");
    verb.option("-t,--to TABLE", options->to,
                "The output's table (default, or UTF-8: the output is UTF-8); //TRANSLIT and "
                "//IGNORE after it are --translit and -c");
    verb.option("-o,--output FILE", options->output,
                "Write to this file, replaced only when all converted (default: standard "
                "output)");
    verb.flag("--translit", options->translit,
              "Write a character the output's table lacks as a close one it has (ICU's "
              "transliteration)");
    verb.flag("-c", options->skip, "Leave out what the tables cannot convert");
    verb.optional_value("--replace CHAR", options->replace, BARE_REPLACE,
                        "Put this character in place of what the tables cannot convert "
                        "(default: U+FFFD when the output is UTF-8, else ?)");
    verb.exclusive("-c", "--replace");
    verb.flag("--no-ascii", options->no_ascii,
              "Bytes 00 to 7F a table does not list are not ASCII but unconvertible");
    add_color_option(verb, options->color);
    verb.run([options] {
        take_iconv_suffixes(*options);
        if (!is_table(options->from) && !is_table(options->to)) {
            throw usage_error{options->from.empty() && options->to.empty()
                                  ? "-f TABLE or -t TABLE is required"
                                  : "-f and -t: one of them must be a table, not UTF-8"};
        }
        if (options->skip && !options->replace.empty()) {
            throw usage_error{"//IGNORE and --replace: only one of them can be given"};
        }
        if (options->translit && !translit_available()) {
            throw usage_error{"--translit: this maptool is built without ICU's "
                              "transliteration"};
        }
        const auto stdin_inputs = (options->files.empty() ? 1
                                                          : std::count(options->files.begin(),
                                                                       options->files.end(), "-")) +
                                  (options->from == "-" ? 1 : 0) + (options->to == "-" ? 1 : 0);
        if (stdin_inputs > 1) {
            throw usage_error{"standard input can be read only once: name the table or the "
                              "input FILE"};
        }
        return run_convert(*options);
    });
}
