#include "table/map_writer.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>

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
    std::FILE* file = std::fopen((dir / "out.map").c_str(), "wb");
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
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(write_map(table_of({make_record(0x80, 0x0410)}), full));
    std::fclose(full);
}

} // namespace
