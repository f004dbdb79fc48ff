// Unicode character names: from ICU, or, in a build without ICU of its own (the Windows
// build), from a table made at build time of the build machine's ICU (names_table.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Thrown when ICU cannot give its names (its data cannot be loaded): an empty name would
// pass for a code that has none, and a check would stay silent. Memory running out while
// the names are loaded is std::bad_alloc.
struct names_unreadable {
    std::string reason;
};

// False in a build without either: then every code has no name and no name is known.
bool names_available();

// Where the names come from, for --version: "ICU 72.1", "ICU 72.1, built in", or empty.
std::string names_source();

// The name of a code point: its Unicode name, else ICU's extended name such as
// "<control-0080>"; empty without names (and beyond FFFF where they come from the table).
std::string char_name(std::uint32_t code);

// The code a name stands for, among the codes a map can hold (0000 to FFFF), matched
// without regard to case; also an extended name such as "<control-0080>".
std::optional<std::uint32_t> char_from_name(std::string_view name);

// Whether ICU has a converter of this name or alias of its own (false without ICU): a
// converter built from a file of the same name is never reached by it, as ICU takes its
// own first.
bool icu_has_converter(const std::string& name);
