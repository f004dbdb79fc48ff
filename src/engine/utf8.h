// UTF-8, as every verb that writes characters spells them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The UTF-8 bytes of a code point up to 10FFFF.
std::string utf8_of(std::uint32_t code);

// The characters of UTF-8 text as an editor counts columns: every byte but a continuation
// byte (10xxxxxx) starts one; a stray byte counts as one.
std::uint64_t utf8_characters(std::string_view text);
