// mapmaker: turns a DSC file, the text description of an 8-bit code page, into a map file.

#include "mapmaker/arguments.h"
#include "mapmaker/file_naming.h"
#include "mapmaker/first_fault.h"
#include "mapmaker/status.h"
#include "platform/files.h"
#include "table/map_writer.h"

#include <cstdio>
#include <new>
#include <string_view>

namespace {

// What the messages of a run may name.
struct run_state {
    // Views into the argument vector: nothing to allocate before the first failure can be
    // reported, not even when memory has run out.
    std::string_view program_name = "mapmaker";
    std::string_view first_argument;
    std::string source_path;
    std::string map_path;
    std::uint64_t line_counter = 0;
};

std::optional<status_detail> detail_of(status_code code, const run_state& run) {
    switch (code) {
    case status_code::cannot_open_source:
        return status_detail{run.first_argument, std::nullopt};
    case status_code::cannot_create_map:
    case status_code::cannot_write:
        return status_detail{run.map_path, std::nullopt};
    case status_code::invalid_dsc:
        return status_detail{run.source_path, run.line_counter};
    case status_code::read_error:
        return status_detail{run.source_path, std::nullopt};
    default:
        return std::nullopt;
    }
}

// The whole conversion. Files close on every way out, the DSC file last.
void convert(int argc, char** argv, run_state& run) {
    if (argc < 2) {
        raise_status(status_code::usage);
    }
    run.first_argument = argv[1];
    if (asks_for_usage(run.first_argument)) {
        raise_status(status_code::usage);
    }
    const unique_file dsc_file = open_source(run.first_argument, run.source_path);
    // The map name comes from the argument as typed, never from a name with ".dsc" added.
    run.map_path = map_path_for(argc > 2 ? argv[2] : run.first_argument);
    unique_file map_file = create_map(run.map_path, dsc_file.get());
    code_table table;
    read_dsc(dsc_file.get(), table, run.line_counter);
    if (!write_map(table, map_file.get())) {
        raise_status(status_code::cannot_write);
    }
    // Success is only claimed once the bytes have left the file's buffer without error.
    close_map(std::move(map_file));
    char count[32];
    std::snprintf(count, sizeof count, "%zu", table.count);
    for (const std::string_view piece :
         {std::string_view("Map file '"), std::string_view(run.map_path),
          std::string_view("' successfully created ["), std::string_view(count),
          std::string_view(" characters].\n")}) {
        write_text(stdout, piece);
    }
}

} // namespace

int main(int argc, char** argv) {
    run_state run;
    status_code status = status_code::ok;
    try {
        // Names beyond ASCII as typed, not as the code page could spell them ("?").
        argv = utf8_argv(argc, argv);
        if (argc > 0 && argv[0] != nullptr) {
            run.program_name = argv[0];
        }
        convert(argc, argv, run);
    } catch (const status_error& failure) {
        status = failure.code;
    } catch (const std::bad_alloc&) {
        status = status_code::no_memory;
    }
    if (status != status_code::ok) {
        report_status(status, detail_of(status, run), program_display_name(run.program_name));
    }
    return static_cast<int>(status);
}
