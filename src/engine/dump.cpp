#include "engine/dump.h"

#include "engine/dsc_text.h"

namespace {

std::string bytes_text(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

} // namespace

std::string map_fault_text(const map_reading& reading) {
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

std::string dump_text(const loaded_table& loaded, bool with_names) {
    std::string text = dsc_header(loaded.name);
    for (std::size_t i = 0; i < loaded.table.count; ++i) {
        text += dsc_entry(loaded.table.records[i][0], code_at(loaded.table, i),
                          with_names ? name_at(loaded, i) : std::string());
    }
    return text;
}
