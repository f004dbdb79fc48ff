// Bytes from the input as a message, an excerpt or a generated file shows them: printable
// ASCII and valid UTF-8 as they are; every other byte (controls, DEL, bytes that are no
// UTF-8) spelled out as <XX>; and a character that a terminal acts on or that reorders or
// hides text (C1 controls, bidirectional overrides and isolates, line and paragraph
// separators, a byte order mark) as <U+XXXX>. The result holds no control character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

std::string visible(std::string_view bytes);

// Whether bytes are valid UTF-8 throughout.
bool valid_utf8(std::string_view bytes);

// As visible, and columns gets the display column at which each byte's rendering starts,
// and one more entry for the end.
std::string visible(std::string_view bytes, std::vector<std::size_t>& columns);
