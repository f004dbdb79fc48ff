#include "mapmaker/arguments.h"

bool asks_for_usage(std::string_view first_argument) {
    return first_argument.find_first_of("?h/-") != std::string_view::npos;
}

std::string_view program_display_name(std::string_view invoked_as) {
    const std::size_t backslash = invoked_as.rfind('\\');
    return backslash == std::string_view::npos ? invoked_as : invoked_as.substr(backslash + 1);
}
