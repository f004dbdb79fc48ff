// UTF-8, as every verb that writes characters spells them.
#pragma once

#include <cstdint>
#include <string>

// The UTF-8 bytes of a code point up to 10FFFF.
std::string utf8_of(std::uint32_t code);
