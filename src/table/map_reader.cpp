#include "table/map_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The fault of a file of `size` bytes whose first min(size, MAP_FILE_MAX) are in `held`.
map_reading judge(std::span<const std::uint8_t> held, std::uint64_t size) {
    map_reading reading;
    reading.size = size;
    if (size < 2) {
        reading.fault = map_fault::too_short;
        return reading;
    }
    reading.count = static_cast<std::uint32_t>(held[0] << 8 | held[1]);
    if (reading.count == 0) {
        reading.fault = map_fault::count_zero;
    } else if (reading.count > MAX_ENTRIES) {
        reading.fault = map_fault::count_too_large;
    } else if (size != map_size_for(reading.count)) {
        reading.fault = map_fault::size_mismatch;
    } else {
        reading.table.count = reading.count;
        std::memcpy(reading.table.records.data(), held.data() + 2, size - 2);
    }
    return reading;
}

} // namespace

map_reading parse_map(std::span<const std::uint8_t> bytes) {
    return judge(bytes.first(std::min(bytes.size(), MAP_FILE_MAX)), bytes.size());
}

map_reading read_map(std::FILE* file) {
    std::array<std::uint8_t, MAP_FILE_MAX> held{};
    std::uint64_t size = std::fread(held.data(), 1, held.size(), file);
    const std::size_t kept = static_cast<std::size_t>(size);
    if (size == held.size()) {
        std::array<std::uint8_t, 4096> rest;
        for (std::size_t got; (got = std::fread(rest.data(), 1, rest.size(), file)) > 0;) {
            size += got;
        }
    }
    if (std::ferror(file) != 0) {
        map_reading reading;
        reading.fault = map_fault::read_error;
        return reading;
    }
    return judge(std::span<const std::uint8_t>(held.data(), kept), size);
}

bool holds_map(std::FILE* file) {
    std::array<std::uint8_t, MAP_FILE_MAX + 1> held{};
    const std::size_t size = std::fread(held.data(), 1, held.size(), file);
    return std::ferror(file) == 0 && parse_map({held.data(), size}).fault == map_fault::none;
}
