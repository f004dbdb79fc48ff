#include "cli/first_fault.h"

#include "cli/status.h"
#include "table/dsc_reader.h"

void read_dsc(std::FILE* dsc_file, code_table& table, std::uint64_t& line_counter) {
    const auto take = [&](std::string_view piece) {
        ++line_counter;
        if (plainly_skipped(piece)) {
            return; // without the call
        }
        const dsc_line line = parse_dsc_line(piece);
        if (line.kind == line_kind::fault) {
            raise_status(STATUS_INVALID_DSC);
        }
        if (line.kind == line_kind::entry) {
            if (table.count == MAX_ENTRIES) {
                raise_status(STATUS_TOO_MANY_ENTRIES);
            }
            table.records[table.count++] = line.record;
        }
    };
    dsc_block block;
    if (read_dsc_pieces(dsc_file, block, take) == dsc_text_end::read_error) {
        // What the error cut short is not a line.
        raise_status(STATUS_READ_ERROR);
    }
    if (table.count == 0) {
        raise_status(STATUS_INVALID_DSC);
    }
}
