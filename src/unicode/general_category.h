// The Unicode general categories, numbered as ICU's UCharCategory numbers them (ICU's
// build checks that), and the class a chart draws each one as: one mapping whether the
// category comes from ICU or from the table generated out of ICU's data.
#pragma once

#include "unicode/classes.h"

#include <cstdint>

enum class general_category : std::uint8_t {
    unassigned,
    uppercase_letter,
    lowercase_letter,
    titlecase_letter,
    modifier_letter,
    other_letter,
    non_spacing_mark,
    enclosing_mark,
    combining_spacing_mark,
    decimal_digit_number,
    letter_number,
    other_number,
    space_separator,
    line_separator,
    paragraph_separator,
    control,
    format,
    private_use,
    surrogate,
    dash_punctuation,
    start_punctuation,
    end_punctuation,
    connector_punctuation,
    other_punctuation,
    math_symbol,
    currency_symbol,
    modifier_symbol,
    other_symbol,
    initial_punctuation,
    final_punctuation,
};

constexpr char_class class_of_category(general_category category) {
    using enum general_category;
    switch (category) {
    case uppercase_letter:
    case lowercase_letter:
    case titlecase_letter:
    case modifier_letter:
    case other_letter:
        return char_class::letter;
    case non_spacing_mark:
    case enclosing_mark:
    case combining_spacing_mark:
        return char_class::mark;
    case decimal_digit_number:
    case letter_number:
    case other_number:
        return char_class::digit;
    case connector_punctuation:
    case dash_punctuation:
    case start_punctuation:
    case end_punctuation:
    case initial_punctuation:
    case final_punctuation:
    case other_punctuation:
        return char_class::punctuation;
    case math_symbol:
    case currency_symbol:
    case modifier_symbol:
    case other_symbol:
        return char_class::symbol;
    case space_separator:
        return char_class::space;
    case control:
    case format:
    case line_separator:
    case paragraph_separator:
        return char_class::control;
    default:
        return char_class::other;
    }
}
