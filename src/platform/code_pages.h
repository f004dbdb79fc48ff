// The system's own code pages of one byte a character, where iconv is missing and the
// system has them instead (Windows): their usual names, and what each byte decodes to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The number of the code page a name stands for, matched without regard to case: the
// usual names and aliases (CP1251, windows-1251, KOI8-R, IBM866, ISO-8859-5, MacCyrillic),
// and any number, alone or after CP, IBM or WINDOWS- (866, CP20866). None for another name
// or a code page the system does not have.
std::optional<std::uint32_t> code_page_number(std::string_view name);

// The usual names whose code pages the system has, in a fixed order, each code page under
// every name it has.
std::vector<std::string> code_page_names();

// The characters a byte decodes to in the code page; none when the byte has none there.
std::optional<std::vector<std::uint32_t>> decode_code_page_byte(std::uint32_t code_page,
                                                                std::uint8_t byte);
