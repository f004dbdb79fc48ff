#include "table/map_writer.h"

bool write_map(const code_table& table, std::FILE* map_file) {
    const std::uint8_t header[2] = {static_cast<std::uint8_t>(table.count >> 8),
                                    static_cast<std::uint8_t>(table.count & 0xFF)};
    return std::fwrite(header, sizeof header, 1, map_file) == 1 &&
           std::fwrite(table.records.data(), sizeof(map_record), table.count, map_file) ==
               table.count;
}
