#include "table/map_reader.h"
#include "table/map_writer.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

code_table table_of(std::initializer_list<map_record> records) {
    code_table table;
    for (const map_record& record : records) {
        table.records[table.count++] = record;
    }
    return table;
}

std::string written_bytes(const code_table& table) {
    const temp_dir dir;
    std::FILE* file = std::fopen((dir / "out.map").string().c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot create out.map");
    }
    EXPECT_TRUE(write_map(table, file));
    std::fclose(file);
    return read_file(dir / "out.map");
}

TEST(WriteMap, HeaderThenRecordsHighByteFirst) {
    EXPECT_EQ(written_bytes(table_of({make_record(0x80, 0x0410), make_record(0xAD, 0x043D)})),
              std::string("\x00\x02\x80\x04\x10\xAD\x04\x3D", 8));
    EXPECT_EQ(written_bytes(table_of({make_record(0x0A, 0x0D0A)})),
              std::string("\x00\x01\x0A\x0D\x0A", 5));
}

TEST(WriteMap, FullTableIs770Bytes) {
    code_table table;
    for (std::size_t i = 0; i < MAX_ENTRIES; ++i) {
        table.records[table.count++] = make_record(static_cast<std::uint8_t>(i), 0xFF00 + i);
    }
    const std::string bytes = written_bytes(table);
    ASSERT_EQ(bytes.size(), 770u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(bytes.substr(767), "\xFF\xFF\xFF");
}

TEST(WriteMap, UnbufferedFullDeviceFailsTheWrite) {
#ifdef _WIN32
    // Wine reaches the host's /dev/full through its drive Z:, Windows not at all.
    GTEST_SKIP() << "Windows has no device that always reports a full disk";
#endif
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(write_map(table_of({make_record(0x80, 0x0410)}), full));
    std::fclose(full);
}

// Telling a map from another table reads no further than a map can reach, whatever the
// file's size: a DSC file of hundreds of megabytes is then read once, not twice. Reading
// a map file for its size reads it whole: a full map and one byte more is no map.
TEST(ReadMap, HoldsMapReadsNoFurtherThanTheLargestMap) {
    const std::string map = written_bytes(table_of({make_record(0x80, 0x0410)}));
    std::string full;
    for (int i = 0; i < 256; ++i) {
        full += static_cast<char>(i);
        full += "\x04\x10";
    }
    full = std::string("\x01\x00", 2) + full;
    const struct {
        std::string bytes;
        bool is_map;
    } cases[] = {
        {map, true},
        {full, true},
        {map + "x", false},
        {full + "x", false},
        {map.substr(0, 4), false},
        {map + std::string(100000, '/'), false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(scratch_file(), std::fclose);
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fwrite(c.bytes.data(), 1, c.bytes.size(), file.get()), c.bytes.size());
        std::rewind(file.get());
        EXPECT_EQ(holds_map(file.get()), c.is_map);
        EXPECT_LE(std::ftell(file.get()), static_cast<long>(MAP_FILE_MAX + 1));
        // read_map reads on to the end, for the size it reports, to the last byte.
        std::rewind(file.get());
        const map_reading whole = read_map(file.get());
        EXPECT_EQ(whole.fault == map_fault::none, c.is_map);
        EXPECT_EQ(whole.size, c.bytes.size());
    }
}

} // namespace
