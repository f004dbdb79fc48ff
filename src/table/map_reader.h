// Reading a map file back: the map writer's counterpart. A map file is exactly 2 + 3N bytes,
// N (1 to 256) in its first two bytes, so anything else is told apart from it for certain.
#pragma once

#include "table/code_table.h"

#include <cstdint>
#include <cstdio>
#include <span>

// The largest map file: the count and 256 records.
constexpr std::size_t MAP_FILE_MAX = 2 + 3 * MAX_ENTRIES;

// What keeps a file from being a map file, in the order it is checked.
enum class map_fault : std::uint8_t {
    none,
    read_error,      // the file reported a read error
    too_short,       // fewer than the 2 bytes of the count
    count_zero,      // a map has at least one entry
    count_too_large, // more than MAX_ENTRIES
    size_mismatch,   // the size is not 2 + 3 x count
};

struct map_reading {
    map_fault fault = map_fault::none;
    std::uint64_t size = 0;  // bytes in the file
    std::uint32_t count = 0; // the count its first two bytes give, when it has them
    code_table table;        // the entries, when there is no fault
};

// The size a map file of `count` entries has.
constexpr std::uint64_t map_size_for(std::uint64_t count) {
    return 2 + 3 * count;
}

// Reads the bytes of a whole map file held in memory.
map_reading parse_map(std::span<const std::uint8_t> bytes);

// Reads the open file to its end. Only a map file's worth of bytes is kept: of a longer
// file the rest is only counted, for the size it is reported with.
map_reading read_map(std::FILE* file);

// Whether the open file, from where it stands, is a map file. Reads at most one byte more
// than the largest map: a file that only has to be told apart from a map is not read
// through, as read_map reads it for its size.
bool holds_map(std::FILE* file);
