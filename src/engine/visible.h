// Bytes of a file as a message or an excerpt shows them: printable ASCII and valid UTF-8
// as they are, everything else spelled out as <XX>, a byte order mark as <U+FEFF>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

std::string visible(std::string_view bytes);

// As visible, and columns gets the display column at which each byte's rendering starts,
// and one more entry for the end.
std::string visible(std::string_view bytes, std::vector<std::size_t>& columns);
