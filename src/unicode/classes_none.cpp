#include "unicode/classes.h"

char_class class_of(std::uint32_t code) {
    return basic_class(code);
}

int column_width(std::uint32_t) {
    return 1;
}
