// The end-to-end tests check every message a command line can reach; these check the
// one it cannot, and how a message and its detail are put together.

#include "cli/status.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

std::string status_text(int code, std::optional<status_detail> detail) {
    std::FILE* out = scratch_file();
    write_status(out, code, detail, "mapmaker");
    std::string text = read_back(out);
    std::fclose(out);
    return text;
}

TEST(StatusText, MessageThenDetailLine) {
    EXPECT_EQ(status_text(STATUS_NO_MEMORY, std::nullopt), "Not enough memory\n");
    EXPECT_EQ(status_text(STATUS_READ_ERROR, status_detail{"a b", std::nullopt}),
              "Error reading file: a b\n");
    EXPECT_EQ(status_text(STATUS_CANNOT_WRITE, status_detail{"", std::nullopt}),
              "Can't write to the file: \n");
    EXPECT_EQ(status_text(STATUS_INVALID_DSC, status_detail{"x", 18446744073709551615u}),
              "Invalid DSC file: x [line 18446744073709551615]\n");
}

} // namespace
