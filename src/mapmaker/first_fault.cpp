#include "mapmaker/first_fault.h"

#include "mapmaker/status.h"
#include "table/dsc_reader.h"

void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter) {
    const auto take = [&](std::string_view piece) {
        ++line_counter;
        if (plainly_skipped(piece)) {
            return; // without the call
        }
        const dsc_line line = parse_dsc_line(piece);
        if (line.kind == line_kind::fault) {
            raise_status(status_code::invalid_dsc);
        }
        if (line.kind == line_kind::entry) {
            if (table.count == MAX_ENTRIES) {
                raise_status(status_code::too_many_entries);
            }
            table.records[table.count++] = line.record;
        }
    };
    dsc_block block;
    // A plain line is only counted.
    const auto pass = [&](std::uint64_t lines) { line_counter += lines; };
    if (read_dsc_pieces(dsc_file, block, take, pass) == dsc_text_end::read_error) {
        // What the error cut short is not a line.
        raise_status(status_code::read_error);
    }
    if (table.count == 0) {
        raise_status(status_code::invalid_dsc);
    }
}
