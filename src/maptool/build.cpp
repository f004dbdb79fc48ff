// maptool build FILE... [-o MAP]: map files byte for byte as mapmaker writes them, without
// its traps: paths are paths, and a failed run never touches an existing map.
#include "engine/dsc_check.h"
#include "engine/files.h"
#include "maptool/options.h"
#include "maptool/verbs.h"
#include "platform/files.h"
#include "table/map_writer.h"

namespace {

struct build_options {
    std::vector<std::string> files;
    std::string output;
    diagnostic_options diagnostics;
};

// The file name's extension replaced by ".map", or ".map" added to a name without one.
std::string map_path_of(const std::string& dsc_path) {
    return utf8_from_path(path_from_utf8(dsc_path).replace_extension(".map"));
}

result<void> write_to_stdout(const code_table& table, bool say_count) {
    set_binary(stdout);
    write_map(table, stdout);
    if (const int error = standard_output_error(); error != 0) {
        return failure{"cannot write the map: " + system_reason(error)};
    }
    if (say_count) {
        write_text(stderr, entries_line("<stdout>", table.count));
    }
    return {};
}

// Builds one map; findings and failures are reported.
// say_count: print the map's line, "x.map: 123 entries".
bool build_one(const std::string& dsc_path, const std::string& map_path, bool say_count,
               diagnostics& report) {
    const std::string name = display_name(dsc_path);
    const result<input_file> file = open_input(dsc_path);
    if (!file) {
        report_failure(report, name, file.error());
        return false;
    }
    const dsc_check checked = check_dsc(file->get(), name, report);
    if (checked.failed) {
        return false;
    }
    if (map_path == "-") {
        const result<void> written = write_to_stdout(checked.table, say_count);
        if (!written) {
            report_failure(report, "<stdout>", written.error());
        }
        return written.ok();
    }
    if (is_the_file(file->get(), map_path)) {
        report.report(file_error(name, "the map file " + map_path + " is this DSC file itself"));
        return false;
    }
    const std::string said = say_count ? entries_line(map_path, checked.table.count) : "";
    const result<written_file> written = replace_file_with(
        map_path, [&checked](std::FILE* map) { return write_map(checked.table, map); });
    if (!written) {
        report.report(
            file_error(map_path, "cannot write the map file: " + written.error().message));
        return false;
    }
    report_in_place(report, map_path, *written);
    write_text(stdout, said);
    return true;
}

exit_status run_build(const build_options& options) {
    // A JSON report goes where check's goes, unless the map itself is written there; the
    // map lines would make it something else than JSON.
    const bool json = options.diagnostics.format != "text"; // JSON or SARIF
    report_renderer out(options.diagnostics, json && options.output != "-" ? stdout : stderr,
                        false);
    const bool say_count = !json && !options.diagnostics.quiet;
    diagnostics report(policy_of(options.diagnostics), out.get());
    std::size_t not_written = 0;
    for (const std::string& path : options.files) {
        std::string map_path = options.output;
        if (map_path.empty() && path == "-") {
            report.report(file_error("<stdin>", "standard input needs -o to name its map file"));
            ++not_written;
            continue;
        }
        if (map_path.empty()) {
            map_path = map_path_of(path);
        }
        not_written += build_one(path, map_path, say_count, report) ? 0 : 1;
        std::fflush(stdout);
    }
    report.finish();
    // Among many files, the failures are easily lost in what else was said.
    if (not_written > 0 && options.files.size() > 1 && say_count) {
        write_text(stderr, std::to_string(not_written) + " of " +
                               std::to_string(options.files.size()) + " maps not written\n");
    }
    return not_written == 0 ? exit_status::success : exit_status::trouble;
}

} // namespace

void add_build(command_line& line) {
    auto options = std::make_shared<build_options>();
    verb_line verb = line.verb(
        "build", "Convert DSC files to map files; a failure leaves an existing map untouched");
    verb.words("FILE DSC", options->files, "DSC files; - reads standard input");
    verb.option("-o,--output FILE", options->output,
                "The map file, for a single DSC file; - writes it to standard output");
    add_diagnostic_options(verb, options->diagnostics);
    verb.run([options] {
        if (!options->output.empty() && options->files.size() > 1) {
            throw usage_error{"-o: names the map of a single DSC file only"};
        }
        return run_build(*options);
    });
}
