// The end-to-end tests check every message a command line can reach; these check the
// one it cannot, and how a message and its detail are put together.

#include "mapmaker/status.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

std::string status_text(status_code code, std::optional<status_detail> detail) {
    std::FILE* out = scratch_file();
    write_status(out, code, detail, "mapmaker");
    std::string text = read_back(out);
    std::fclose(out);
    return text;
}

TEST(StatusText, MessageThenDetailLine) {
    EXPECT_EQ(status_text(status_code::no_memory, std::nullopt), "Not enough memory\n");
    EXPECT_EQ(status_text(status_code::read_error, status_detail{"a b", std::nullopt}),
              "Error reading file: a b\n");
    EXPECT_EQ(status_text(status_code::cannot_write, status_detail{"", std::nullopt}),
              "Can't write to the file: \n");
    EXPECT_EQ(status_text(status_code::invalid_dsc, status_detail{"x", 18446744073709551615u}),
              "Invalid DSC file: x [line 18446744073709551615]\n");
}

} // namespace
