// maptool dump MAP [-o DSC]: a map file as the DSC file that gives it back, byte for byte.
#include "maptool/common.h"
#include "maptool/table_io.h"
#include "maptool/verbs.h"
#include "table/map_reader.h"
#include "unicode/names.h"

namespace {

struct dump_options {
    std::string map;
    std::string output;
    bool no_names = false;
    std::string color = "auto";
};

std::string bytes_text(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// Why a file is not a map file, in words.
std::string fault_text(const map_reading& reading) {
    const std::string count = std::to_string(reading.count);
    switch (reading.fault) {
    case map_fault::none:
        break;
    case map_fault::read_error:
        return "cannot read the file";
    case map_fault::too_short:
        return "not a map file: " + bytes_text(reading.size) +
               ", fewer than the 2 bytes of the entry count";
    case map_fault::count_zero:
    case map_fault::count_too_large:
        return "not a map file: the entry count is " + count + "; a map holds 1 to 256 entries";
    case map_fault::size_mismatch:
        return "not a map file: " + bytes_text(reading.size) + ", but an entry count of " + count +
               " needs " + bytes_text(map_size_for(reading.count)) + " (2 + 3 x " + count + ")";
    }
    return {};
}

std::string dump_text(const code_table& table, const std::string& name, bool with_names) {
    std::string text = dsc_header(name);
    for (std::size_t i = 0; i < table.count; ++i) {
        const map_record& record = table.records[i];
        const auto code = static_cast<std::uint16_t>(record[1] << 8 | record[2]);
        text += dsc_entry(record[0], code, with_names ? char_name(code) : std::string());
    }
    return text;
}

int run_dump(const dump_options& options) {
    diagnostic_printer printer = error_printer(options.color);
    const std::string name = display_name(options.map);
    std::string error;
    const input_file file = open_input(options.map, error);
    if (!file) {
        report_error(printer, name, "cannot open the file: " + error);
        return 2;
    }
    const map_reading reading = read_map(file.get());
    if (reading.fault != map_fault::none) {
        report_error(printer, name, fault_text(reading));
        return 2;
    }
    const bool to_file = !options.output.empty() && options.output != "-";
    if (to_file && is_the_file(file.get(), options.output)) {
        report_error(printer, name, "the DSC file " + options.output + " is this map file itself");
        return 2;
    }
    const std::string text =
        dump_text(reading.table, table_name_of(options.map), !options.no_names);
    if (!put_dsc(options.output, text, error)) {
        report_error(printer, to_file ? options.output : "<stdout>",
                     "cannot write the DSC file: " + error);
        return 2;
    }
    if (to_file) {
        std::printf("%s: %zu entries\n", options.output.c_str(), reading.table.count);
    }
    return 0;
}

} // namespace

void add_dump(CLI::App& app, int& status) {
    auto options = std::make_shared<dump_options>();
    CLI::App* verb = app.add_subcommand(
        "dump", "Print a map file as a DSC file that converts back to the very same bytes");
    verb->add_option("MAP", options->map, "The map file; - reads standard input")->required();
    verb->add_option("-o,--output", options->output,
                     "Write the DSC file here instead of to standard output");
    verb->add_flag("--no-names", options->no_names, "Leave out the character names");
    add_color_option(*verb, options->color);
    verb->callback([options, &status] { status = run_dump(*options); });
}
