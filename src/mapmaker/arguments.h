// What the command line asks for, before any file is touched.
#pragma once

#include <string_view>

// True when the first file argument asks for the usage text: it holds one of the help
// trigger characters '?', 'h', '/' or '-' anywhere (case-sensitive, so 'H' does not).
bool asks_for_usage(std::string_view first_argument);

// The program name as the usage line shows it: everything up to and including the last
// backslash is dropped. A slash is not a separator here.
std::string_view program_display_name(std::string_view invoked_as);
