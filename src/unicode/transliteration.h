// Close renderings of a character, for a code page that lacks it: a transliteration as
// ICU makes it, where the build has ICU's transforms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// False in a build without ICU: then no character has a rendering.
bool translit_available();

// The renderings of a code point that differ from it, best first, each a sequence of code
// points: the base letter of its canonical decomposition ("o" for "ő"), its Latin form
// ("Ž" for "Ж"), and that form in ASCII ("Z" for "Ж", "-" for "—"). Whoever writes one
// checks that the target has every character of it.
std::vector<std::u32string> close_renderings(std::uint32_t code);
