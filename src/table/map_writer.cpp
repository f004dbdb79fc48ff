#include "table/map_writer.h"

#include "cli/status.h"

void write_map(const code_table& table, std::FILE* map_file) {
    const std::uint8_t header[2] = {static_cast<std::uint8_t>(table.count >> 8),
                                    static_cast<std::uint8_t>(table.count & 0xFF)};
    if (std::fwrite(header, sizeof header, 1, map_file) != 1) {
        raise_status(STATUS_CANNOT_WRITE);
    }
    if (std::fwrite(table.records.data(), sizeof(map_record), table.count, map_file) !=
        table.count) {
        raise_status(STATUS_CANNOT_WRITE);
    }
}
