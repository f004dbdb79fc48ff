// What kind of character a code is, and how many terminal columns it takes, from ICU or
// the table made of its data (classes_table.cpp) where the build has either.
#pragma once

#include <cstdint>

enum class char_class : std::uint8_t {
    letter,
    mark, // combining: drawn on a dotted circle
    digit,
    punctuation,
    symbol,
    space,
    control, // also the invisible format characters, bidirectional controls among them
    other,   // unassigned, private use, surrogate, or not known in this build
};

// Known without any character data: C0, DEL and C1 are the controls, for good.
constexpr char_class basic_class(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) ? char_class::control : char_class::other;
}

// The class from ICU or the table; basic_class in a build without either.
char_class class_of(std::uint32_t code);

// 2 for a wide character (East Asian wide or fullwidth), else 1; always 1 without either.
int column_width(std::uint32_t code);
