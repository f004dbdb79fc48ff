// mapmaker: turns a DSC file, the text description of an 8-bit code page, into a map file.

#include "cli/arguments.h"
#include "cli/file_naming.h"
#include "cli/status.h"
#include "table/dsc_reader.h"
#include "table/map_writer.h"

#include <cinttypes>
#include <new>

namespace {

// What the messages of a run may name.
struct run_state {
    std::string program_name;
    std::string first_argument;
    std::string source_path;
    std::string map_path;
    std::uint64_t line_counter = 0;
};

std::optional<std::string> status_detail(int code, const run_state& run) {
    switch (code) {
    case STATUS_CANNOT_OPEN_SOURCE:
        return run.first_argument;
    case STATUS_CANNOT_CREATE_MAP:
    case STATUS_CANNOT_WRITE:
        return run.map_path;
    case STATUS_INVALID_DSC:
        return run.source_path + " [line " + std::to_string(run.line_counter) + "]";
    case STATUS_READ_ERROR:
        return run.source_path;
    default:
        return std::nullopt;
    }
}

// The whole conversion. Files close on every way out, the DSC file last.
void convert(int argc, char** argv, run_state& run) {
    if (argc < 2) {
        raise_status(STATUS_USAGE);
    }
    run.first_argument = argv[1];
    if (asks_for_usage(run.first_argument)) {
        raise_status(STATUS_USAGE);
    }
    const unique_file dsc_file = open_source(run.first_argument, run.source_path);
    // The map name comes from the argument as typed, never from a name with ".dsc" added.
    run.map_path = map_path_for(argc > 2 ? argv[2] : run.first_argument);
    unique_file map_file = create_map(run.map_path, dsc_file.get());
    code_table table;
    read_dsc(dsc_file.get(), table, run.line_counter);
    write_map(table, map_file.get());
    // Success is only claimed once the bytes have left the file's buffer without error.
    close_map(std::move(map_file));
    std::printf("Map file '%s' successfully created [%zu characters].\n", run.map_path.c_str(),
                table.count);
}

} // namespace

int main(int argc, char** argv) {
    run_state run;
    int status = STATUS_OK;
    try {
        run.program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "mapmaker";
        convert(argc, argv, run);
    } catch (const status_error& failure) {
        status = failure.code;
    } catch (const std::bad_alloc&) {
        status = STATUS_NO_MEMORY;
    }
    if (status != STATUS_OK) {
        const std::optional<std::string> detail = status_detail(status, run);
        report_status(status, detail, program_display_name(run.program_name));
    }
    return status;
}
