// The code table: the entries of one code page in the order the DSC file lists them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t MAX_ENTRIES = 256;

// One entry exactly as the map file stores it: the 8-bit source code, then the 16-bit
// UNICODE code high byte first.
using map_record = std::array<std::uint8_t, 3>;

struct code_table {
    std::array<map_record, MAX_ENTRIES> records{};
    std::size_t count = 0;
};

// The records are written to the map file as one block, so they must lie back to back.
static_assert(sizeof(code_table::records) == 3 * MAX_ENTRIES, "map records must be packed");

inline map_record make_record(std::uint8_t source_code, std::uint16_t unicode) {
    return {source_code, static_cast<std::uint8_t>(unicode >> 8),
            static_cast<std::uint8_t>(unicode & 0xFF)};
}

// The UNICODE code a record holds.
inline std::uint16_t code_of(const map_record& record) {
    return static_cast<std::uint16_t>(record[1] << 8 | record[2]);
}
