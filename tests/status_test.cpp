#include "cli/status.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct text_case {
    int code;
    std::optional<std::string_view> detail;
    const char* text;
};

TEST(StatusText, MessageThenDetailLine) {
    const std::vector<text_case> cases = {
        {STATUS_NO_MEMORY, std::nullopt, "Not enough memory\n"},
        {STATUS_CANNOT_OPEN_SOURCE, "cp866.txt", "Can't open source file: cp866.txt\n"},
        {STATUS_CANNOT_CREATE_MAP, "out.map", "Can't create map file: out.map\n"},
        {STATUS_INVALID_DSC, "cp866.dsc [line 12]", "Invalid DSC file: cp866.dsc [line 12]\n"},
        {STATUS_CANNOT_WRITE, "out.map", "Can't write to the file: out.map\n"},
        {STATUS_READ_ERROR, "cp866.dsc", "Error reading file: cp866.dsc\n"},
        {STATUS_TOO_MANY_ENTRIES, std::nullopt,
         "Too much entries.\nCodepage items quantity must not exceed 256.\n"},
    };
    for (const text_case& c : cases) {
        EXPECT_EQ(status_text(c.code, c.detail, "mapmaker"), c.text) << c.code;
    }
}

TEST(StatusText, UsageNamesTheProgramAndEndsWithAnEmptyLine) {
    const std::string text = status_text(STATUS_USAGE, std::nullopt, "mm.exe");
    EXPECT_NE(text.find("\nUsage: mm.exe dsc-file [map-file]\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), "...\n\n");
}

} // namespace
