// The character data table of a build without ICU against ICU itself, for every code a
// map can hold: the same name, the same code found from it, the same class and width.
#include "unicode/classes.h"
#include "unicode/general_category.h"
#include "unicode/names.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace {

std::string icu_name(std::uint32_t code) {
    char buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(static_cast<UChar32>(code), U_EXTENDED_CHAR_NAME, buffer,
                                      sizeof buffer, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << code;
    return std::string(buffer, static_cast<std::size_t>(std::max(length, 0)));
}

std::optional<std::uint32_t> icu_extended(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const UChar32 code = u_charFromName(U_EXTENDED_CHAR_NAME, name.c_str(), &status);
    if (U_FAILURE(status) || code < 0 || code > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(code);
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

TEST(UnicodeTable, EveryCodeAsIcuHasIt) {
    ASSERT_TRUE(names_available());
    int differences = 0;
    for (std::uint32_t code = 0; code < 0x10000 && differences < 10; ++code) {
        const std::string name = icu_name(code);
        const auto kind = static_cast<general_category>(u_charType(static_cast<UChar32>(code)));
        const auto width =
            u_getIntPropertyValue(static_cast<UChar32>(code), UCHAR_EAST_ASIAN_WIDTH);
        const bool same =
            char_name(code) == name && char_from_name(name) == code &&
            char_from_name(lower(name)) == code && class_of(code) == class_of_category(kind) &&
            column_width(code) == (width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1);
        if (!same) {
            ++differences;
            ADD_FAILURE() << std::hex << code << ": ICU " << name << ", table " << char_name(code);
        }
    }
}

// An extended name names the code's category, which ICU checks: every category name with
// every code finds the code where ICU finds it.
TEST(UnicodeTable, ExtendedNamesOfEveryCategory) {
    const char* categories[] = {"unassigned",
                                "uppercase letter",
                                "lowercase letter",
                                "titlecase letter",
                                "modifier letter",
                                "other letter",
                                "non spacing mark",
                                "enclosing mark",
                                "combining spacing mark",
                                "decimal digit number",
                                "letter number",
                                "other number",
                                "space separator",
                                "line separator",
                                "paragraph separator",
                                "control",
                                "format",
                                "private use area",
                                "surrogate",
                                "dash punctuation",
                                "start punctuation",
                                "end punctuation",
                                "connector punctuation",
                                "other punctuation",
                                "math symbol",
                                "currency symbol",
                                "modifier symbol",
                                "other symbol",
                                "initial punctuation",
                                "final punctuation",
                                "noncharacter",
                                "lead surrogate",
                                "trail surrogate"};
    int differences = 0;
    for (std::uint32_t code = 0; code < 0x10000 && differences < 10; ++code) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", code);
        for (const char* category : categories) {
            const std::string name = std::string("<") + category + "-" + hex + ">";
            if (char_from_name(name) != icu_extended(name)) {
                ++differences;
                ADD_FAILURE() << name << ": ICU and the table differ";
            }
        }
    }
}

TEST(UnicodeTable, NamesThatAreNot) {
    const struct {
        std::string name;
        std::optional<std::uint32_t> code;
    } cases[] = {
        {"latin capital letter a", 0x41},
        {"<Control-80>", 0x80},
        {"<control-00000080>", 0x80},
        {"<control-000000080>", std::nullopt}, // nine digits
        {"<control-0041>", std::nullopt},
        {"<control-0080", std::nullopt},
        {"<-0080>", std::nullopt},
        {"<control->", std::nullopt},
        {"<control-00G0>", std::nullopt},
        {"<unassigned-E0080>", std::nullopt}, // beyond what a map holds
        {"<unassigned-110000>", std::nullopt},
        {"LATIN CAPITAL LETTER A" + std::string(1, '\0') + "X", 0x41},
        {std::string(1, '\0') + "A", std::nullopt},
        {"HANGUL SYLLABLE GAGG", 0xAC02},
        {"HANGUL SYLLABLE GAX", std::nullopt},
        {"CJK UNIFIED IDEOGRAPH-4E00", 0x4E00},
        {"CJK UNIFIED IDEOGRAPH-E000", std::nullopt},
        {"", std::nullopt},
        {std::string(121, 'A'), std::nullopt},
    };
    for (const auto& [name, code] : cases) {
        EXPECT_EQ(char_from_name(name), code) << name;
    }
    EXPECT_EQ(char_name(0x10000), "");
    EXPECT_EQ(class_of(0x10000), char_class::other);
    EXPECT_EQ(column_width(0x20000), 1);
}

} // namespace
