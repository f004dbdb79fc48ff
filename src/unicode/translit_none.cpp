// Built where ICU is not available: no transliteration.
#include "unicode/transliteration.h"

bool translit_available() {
    return false;
}

std::vector<std::u32string> close_renderings(std::uint32_t) {
    return {};
}
