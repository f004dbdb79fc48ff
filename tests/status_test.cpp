// The end-to-end tests check every message a command line can reach; these check the
// one it cannot, and how a message and its detail are put together.

#include "cli/status.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusText, MessageThenDetailLine) {
    EXPECT_EQ(status_text(STATUS_NO_MEMORY, std::nullopt, "mapmaker"), "Not enough memory\n");
    EXPECT_EQ(status_text(STATUS_READ_ERROR, "a b", "mapmaker"), "Error reading file: a b\n");
    EXPECT_EQ(status_text(STATUS_CANNOT_WRITE, "", "mapmaker"), "Can't write to the file: \n");
}

} // namespace
