// maptool: the everyday companion of mapmaker. Checks DSC files and reports every problem,
// builds maps safely, reads maps back, compares tables, imports them from standard data and
// exports them to the formats other tools read.
#include "maptool/command_line.h"
#include "maptool/verbs.h"
#include "platform/files.h"
#include "unicode/names.h"

#include <cstdio>
#include <new>

namespace {

std::string version_text() {
    const std::string names = names_available() ? "character names from " + names_source()
                                                : "built without character names";
    return "maptool " MAPTOOL_VERSION " (" + names + ")";
}

} // namespace

int main(int argc, char** argv) {
    try {
        command_line line(
            "Checks, builds, reads, compares, imports and exports 8-bit code page tables.",
            version_text());
        add_check(line);
        add_build(line);
        add_dump(line);
        add_diff(line);
        add_import(line);
        add_export(line);
        std::vector<std::string> arguments = utf8_arguments(argc, argv);
        if (!arguments.empty()) {
            arguments.erase(arguments.begin()); // the program's name
        }
        return line.run(arguments);
    } catch (const std::bad_alloc&) {
        std::fputs("maptool: out of memory\n", stderr);
        return static_cast<int>(exit_status::trouble);
    }
}
