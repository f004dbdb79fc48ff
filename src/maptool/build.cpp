// maptool build FILE... [-o MAP]: map files byte for byte as mapmaker writes them, without
// its traps: paths are paths, and a failed run never touches an existing map.
#include "maptool/common.h"
#include "maptool/dsc_check.h"
#include "maptool/verbs.h"
#include "table/map_file.h"
#include "table/map_writer.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct build_options {
    std::vector<std::string> files;
    std::string output;
    diagnostic_options diagnostics;
};

// The file name's extension replaced by ".map", or ".map" added to a name without one.
std::string map_path_of(const std::string& dsc_path) {
    return fs::path(dsc_path).replace_extension(".map").string();
}

// Builds one map; false when it was not written.
bool build_one(const std::string& dsc_path, const std::string& map_path,
               diagnostic_printer& printer) {
    const std::string name = display_name(dsc_path);
    std::string error;
    const input_file file = open_input(dsc_path, error);
    if (!file) {
        report_error(printer, name, "cannot open the file: " + error);
        return false;
    }
    const dsc_check checked = check_dsc(file.get(), name, printer);
    if (checked.failed) {
        return false;
    }
    if (map_path == "-") {
        set_binary(stdout);
        if (!write_map(checked.table, stdout) || std::fflush(stdout) != 0) {
            report_error(printer, "<stdout>", "cannot write the map");
            return false;
        }
        std::fprintf(stderr, "<stdout>: %zu entries\n", checked.table.count);
        return true;
    }
    if (is_the_file(file.get(), map_path)) {
        report_error(printer, name, "the map file " + map_path + " is this DSC file itself");
        return false;
    }
    if (!write_map_file(map_path, checked.table, error)) {
        report_error(printer, map_path, "cannot write the map file: " + error);
        return false;
    }
    std::printf("%s: %zu entries\n", map_path.c_str(), checked.table.count);
    return true;
}

int run_build(const build_options& options) {
    diagnostic_printer printer = make_printer(options.diagnostics, stderr);
    bool all_written = true;
    for (const std::string& path : options.files) {
        std::string map_path = options.output;
        if (map_path.empty() && path == "-") {
            report_error(printer, "<stdin>", "standard input needs -o to name its map file");
            all_written = false;
            continue;
        }
        if (map_path.empty()) {
            map_path = map_path_of(path);
        }
        all_written = build_one(path, map_path, printer) && all_written;
        std::fflush(stdout);
    }
    return all_written ? 0 : 2;
}

} // namespace

void add_build(CLI::App& app, int& status) {
    auto options = std::make_shared<build_options>();
    CLI::App* verb = app.add_subcommand(
        "build", "Convert DSC files to map files; a failure leaves an existing map untouched");
    verb->add_option("FILE", options->files, "DSC files; - reads standard input")->required();
    verb->add_option("-o,--output", options->output,
                     "The map file, for a single DSC file; - writes it to standard output");
    add_diagnostic_options(*verb, options->diagnostics);
    verb->callback([options, &status] {
        if (!options->output.empty() && options->files.size() > 1) {
            throw CLI::ValidationError("-o", "names the map of a single DSC file only");
        }
        status = run_build(*options);
    });
}
