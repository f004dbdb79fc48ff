#include "unicode/classes.h"

#include "unicode/general_category.h"

#include <unicode/uchar.h>

static_assert(U_UNASSIGNED == static_cast<int>(general_category::unassigned) &&
              U_CONTROL_CHAR == static_cast<int>(general_category::control) &&
              U_SURROGATE == static_cast<int>(general_category::surrogate) &&
              U_FINAL_PUNCTUATION == static_cast<int>(general_category::final_punctuation));

char_class class_of(std::uint32_t code) {
    return class_of_category(static_cast<general_category>(u_charType(static_cast<UChar32>(code))));
}

int column_width(std::uint32_t code) {
    const auto width = static_cast<UEastAsianWidth>(
        u_getIntPropertyValue(static_cast<UChar32>(code), UCHAR_EAST_ASIAN_WIDTH));
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}
