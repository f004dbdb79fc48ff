// Which code page is this: how far each known table is from a given table, or how well it
// reads a sample of text.
#pragma once

#include "engine/convert.h"
#include "engine/result.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// How many bytes decode differently, or are decoded by one page only.
std::uint32_t bytes_differing(const code_page& a, const code_page& b);

// A text sample as the score needs it: how often each byte, and each pair of bytes one
// after the other, occurs; and what tells a text in no 8-bit code page at all.
struct text_sample {
    std::array<std::uint64_t, 256> bytes{};
    std::vector<std::uint32_t> pairs = std::vector<std::uint32_t>(256 * 256, 0);
    std::uint64_t size = 0;
    std::array<unsigned char, 2> head{}; // the first two bytes: a byte order mark?
    std::uint64_t nul_even = 0;          // NUL bytes at even offsets
    std::uint64_t nul_odd = 0;           // and at odd ones
    bool utf8 = true;                    // valid UTF-8 throughout
    std::uint64_t utf8_multibyte = 0;    // its characters beyond ASCII
};

result<text_sample> read_sample(std::FILE* in);

// What a sample is when it is text in no 8-bit code page, in words: UTF-16 (by its byte
// order mark or its NUL bytes), UTF-8 with characters beyond ASCII; else nothing.
std::optional<std::string> not_single_byte(const text_sample& sample);

// Whether a page reads every byte of the sample as the ASCII character of its number.
bool reads_as_ascii(const code_page& page, const text_sample& sample);

// Whether two pages read the sample into the same text.
bool read_alike(const code_page& a, const code_page& b, const text_sample& sample);

// How well a page reads a sample: first the bytes it cannot decode, then the pairs of
// neighbouring characters that are unlikely in any language's text (see which.cpp).
struct sample_fit {
    std::uint64_t unmapped = 0;
    std::uint64_t unlikely = 0;

    bool operator<(const sample_fit& other) const {
        return unmapped != other.unmapped ? unmapped < other.unmapped : unlikely < other.unlikely;
    }
};

sample_fit fit_sample(const code_page& page, const text_sample& sample);

// Below this lead over the next table that reads the sample otherwise (in unmapped bytes,
// else in unlikely pairs), the best table is no more than a guess.
constexpr std::uint64_t clear_margin = 2;

// The lead of `best` over `next` in words when it is less than clear_margin ("1 unlikely
// pair"), else nothing.
std::optional<std::string> narrow_lead(const sample_fit& best, const sample_fit& next);

// The charsets the system's iconv lists with `iconv -l`; a failure when there is none.
result<std::vector<std::string>> iconv_charsets();
