// Feeds arbitrary bytes to every reader of a table source and checks what must hold for
// every input, beyond not crashing:
// - the map reader: a map file is exactly 2 + 3N bytes, and its table written back is the
//   very input;
// - the mapping-file reader (Unicode mapping files, charmaps, .ucm files): each byte from
//   `first` on is given once, with a code up to FFFF; its warnings stay few; and the table
//   exported as a Unicode mapping file, a charmap and a .ucm file reads back the same (in
//   a .ucm, a character given again is a reverse fallback, which is left out);
// - the whole source as a file, plain and gzip-compressed, through load_source: a table of
//   1 to 256 entries with a name for each, or a failure.

#include "engine/export.h"
#include "engine/mapping_sources.h"
#include "engine/table_source.h"
#include "table/map_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

struct quiet : renderer {
    void render(const finding&) override {}
    void finish(const report_counts&) override {}
};

void check_map(const std::uint8_t* data, std::size_t size) {
    const map_reading map = parse_map({data, size});
    if (map.fault != map_fault::none) {
        return;
    }
    require(size == map_size_for(map.table.count), "a map file is 2 + 3N bytes");
    require(std::equal(data + 2, data + size,
                       reinterpret_cast<const std::uint8_t*>(map.table.records.data())),
            "a map's records are its bytes");
}

loaded_table as_table(const mapping_source& source) {
    loaded_table loaded;
    for (const source_entry& entry : source.entries) {
        loaded.table.records[loaded.table.count++] = make_record(entry.byte, entry.code);
        loaded.names.push_back(entry.name);
    }
    loaded.name = "fuzz";
    return loaded;
}

void check_mapping(std::string_view text, std::uint8_t first) {
    const mapping_source source = read_mapping_source(text, first);
    require(source.warnings.size() <= 600, "warnings stay few");
    std::array<bool, 256> seen{};
    for (const source_entry& entry : source.entries) {
        require(entry.byte >= first, "only bytes from first on");
        require(!seen[entry.byte], "each byte once");
        seen[entry.byte] = true;
    }
    if (source.error || source.entries.empty()) {
        return;
    }
    const loaded_table loaded = as_table(source);
    std::vector<source_entry> sorted = source.entries;
    std::sort(sorted.begin(), sorted.end(),
              [](const source_entry& a, const source_entry& b) { return a.byte < b.byte; });
    for (const export_format format :
         {export_format::unicode, export_format::charmap, export_format::ucm}) {
        std::vector<source_entry> expected = sorted;
        if (format == export_format::ucm) {
            // A character given again is a reverse fallback (|3), left out on the way back.
            std::vector<char> given(0x10000);
            std::erase_if(expected, [&given](const source_entry& entry) {
                return std::exchange(given[entry.code], char{1}) != 0;
            });
        }
        const mapping_source back = read_mapping_source(export_text(loaded, format, "fuzz", false));
        require(!back.error, "an export reads back");
        require(back.warnings.size() == sorted.size() - expected.size(),
                "an export reads back with a warning only for each |3 line");
        require(std::equal(back.entries.begin(), back.entries.end(), expected.begin(),
                           expected.end(),
                           [](const source_entry& a, const source_entry& b) {
                               return a.byte == b.byte && a.code == b.code;
                           }),
                "an export reads back as the same entries, in byte order");
    }
}

// A scratch file of the fuzz process's own, written anew for each input.
std::filesystem::path scratch_path(const char* suffix) {
    static const std::string stem =
        "maptool-fuzz-" + std::to_string(reinterpret_cast<std::uintptr_t>(&stem));
    return std::filesystem::temp_directory_path() / (stem + suffix);
}

void check_loaded(const std::filesystem::path& path) {
    quiet out;
    diagnostics report(warning_policy{}, out);
    const result<loaded_table> loaded = load_source(path.string(), 0x80, report);
    if (loaded) {
        require(loaded->table.count >= 1 && loaded->table.count <= MAX_ENTRIES,
                "a table of 1 to 256 entries");
        require(loaded->names.size() == loaded->table.count, "a name for each entry");
    }
}

void check_files(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path plain = scratch_path(".txt");
    {
        std::ofstream file(plain, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    check_loaded(plain);
    const std::filesystem::path packed = scratch_path(".gz");
    gzFile file = gzopen(packed.string().c_str(), "wb");
    require(file != nullptr, "a scratch file");
    if (size != 0) {
        gzwrite(file, data, static_cast<unsigned>(size));
    }
    gzclose(file);
    check_loaded(packed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_map(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_mapping(text, 0);
    check_mapping(text, 0x80);
    check_files(data, size);
    return 0;
}
