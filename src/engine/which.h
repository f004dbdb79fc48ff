// Which code page is this: how far each known table is from a given table, or how well it
// reads a sample of text.
#pragma once

#include "engine/convert.h"
#include "engine/result.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// How many bytes decode differently, or are decoded by one page only.
std::uint32_t bytes_differing(const code_page& a, const code_page& b);

// A text sample as the score needs it: how often each byte, and each pair of bytes one
// after the other, occurs.
struct text_sample {
    std::array<std::uint64_t, 256> bytes{};
    std::vector<std::uint32_t> pairs = std::vector<std::uint32_t>(256 * 256, 0);
};

result<text_sample> read_sample(std::FILE* in);

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

// The charsets the system's iconv lists with `iconv -l`; a failure when there is none.
result<std::vector<std::string>> iconv_charsets();
