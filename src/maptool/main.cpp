// maptool: the everyday companion of mapmaker. Checks DSC files and reports every problem,
// builds maps safely, reads maps back, compares tables, imports them from standard data and
// exports them to the formats other tools read.
#include "engine/files.h"
#include "maptool/command_line.h"
#include "maptool/verbs.h"
#include "platform/atomic_file.h"
#include "platform/files.h"
#include "unicode/names.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace {

// Noted at the first allocation that fails, even where the bad_alloc it throws is caught
// and swallowed (a string stream only sets its badbit, a help text comes out cut short):
// then the run did not do what it was asked, whatever it printed, and writes no file.
void on_allocation_failure() {
    throw_out_of_memory();
}

int out_of_memory() {
    std::fflush(stdout);
    std::fputs("maptool: out of memory\n", stderr);
    return static_cast<int>(exit_status::trouble);
}

// A nothrow allocation that fails is met by the caller, which goes on without the memory
// (a stable sort falls back to sorting in place): it returns nullptr, and the run is not
// marked as one that ran out of memory.
template <typename Allocate> void* allocated_or_null(Allocate allocate) noexcept {
    const std::new_handler handler = std::set_new_handler(nullptr);
    void* block = nullptr;
    try {
        block = allocate();
    } catch (const std::bad_alloc&) {
    }
    std::set_new_handler(handler);
    return block;
}

// A bad_alloc that reaches a noexcept function ends the program without a handler;
// it still ends as every other run out of memory does.
std::terminate_handler default_terminate = nullptr;

[[noreturn]] void on_terminate() {
    if (out_of_memory_noted()) {
        std::_Exit(out_of_memory());
    }
    default_terminate();
    std::abort();
}

std::string version_text() {
    const std::string names = names_available() ? "character names from " + names_source()
                                                : "built without character names";
    return "maptool " MAPTOOL_VERSION " (" + names + ")";
}

// What standard output could not take is lost to its reader: the run failed, whatever
// the verb found.
int with_output_checked(int status) {
    const int error = standard_output_error();
    if (error == 0) {
        return status;
    }
    write_text(stderr, "maptool: cannot write to standard output: " + system_reason(error) + "\n");
    return static_cast<int>(exit_status::trouble);
}

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocated_or_null([size] { return ::operator new(size); });
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocated_or_null([size] { return ::operator new[](size); });
}

int main(int argc, char** argv) {
    std::set_new_handler(on_allocation_failure);
    default_terminate = std::set_terminate(on_terminate);
    fail_writes_beyond_size_limit();
    int status = 0;
    try {
        command_line line(
            "Checks, builds, reads, compares, imports, exports, converts through and draws 8-bit "
            "code page tables.",
            version_text());
        add_verbs(line);
        std::vector<std::string> arguments = utf8_arguments(argc, argv);
        if (!arguments.empty()) {
            arguments.erase(arguments.begin()); // the program's name
        }
        status = with_output_checked(line.run(arguments));
    } catch (const std::bad_alloc&) {
        return out_of_memory();
    } catch (const names_unreadable& failed) {
        std::fprintf(stderr, "maptool: cannot read the character names: %s\n",
                     failed.reason.c_str());
        return static_cast<int>(exit_status::trouble);
    }
    return out_of_memory_noted() ? out_of_memory() : status;
}
