// Preloaded into a tool (LD_PRELOAD) to make allocations fail once main has started, as on
// a machine whose memory runs out. Start-up itself still gets its memory.
//
// Without settings every allocation from main on fails. FAIL_MALLOC_AT=N lets the first
// N - 1 allocations of main succeed and fails the Nth and every one after it;
// FAIL_MALLOC_ONCE=1 fails only the Nth, as when memory is short for a moment.
// FAIL_MALLOC_FROM=TEXT counts only the allocations called from a library whose path holds
// TEXT (libicuuc: those of ICU). FAIL_MALLOC_COUNT=FILE writes the number of allocations main made
// into FILE at exit, for choosing N over a whole run.

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);

namespace {
bool started = false;
bool once = false;
long fail_at = 1; // the first allocation of main that fails; 0 for none
std::atomic<long> made{0};
const char* count_file = nullptr;
const char* from = nullptr;
int (*real_main)(int, char**, char**) = nullptr;

void write_count() {
    const int fd = ::open(count_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        char text[32];
        const int length = std::snprintf(text, sizeof text, "%ld\n", made.load());
        (void)!::write(fd, text, static_cast<std::size_t>(length));
        ::close(fd);
    }
}

int failing_main(int argc, char** argv, char** envp) {
    if (const char* at = std::getenv("FAIL_MALLOC_AT")) {
        fail_at = std::strtol(at, nullptr, 10);
    }
    const char* one = std::getenv("FAIL_MALLOC_ONCE");
    once = one != nullptr && one[0] == '1';
    count_file = std::getenv("FAIL_MALLOC_COUNT");
    // Empty, as a script passes "all of them", is none: telling a caller's library costs a
    // dladdr on every allocation, and made each run of a sweep take seconds.
    from = std::getenv("FAIL_MALLOC_FROM");
    if (from != nullptr && from[0] == '\0') {
        from = nullptr;
    }
    if (count_file != nullptr) {
        std::atexit(write_count);
    }
    started = true;
    return real_main(argc, argv, envp);
}

bool called_from_chosen(void* caller) {
    Dl_info info{};
    return dladdr(caller, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, from) != nullptr;
}

bool fails(void* caller) {
    if (!started || (from != nullptr && !called_from_chosen(caller))) {
        return false;
    }
    const long number = ++made;
    if (fail_at <= 0 || number < fail_at || (once && number != fail_at)) {
        return false;
    }
    errno = ENOMEM;
    return true;
}
} // namespace

void* malloc(std::size_t size) {
    return fails(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    return fails(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) {
    return fails(__builtin_return_address(0)) ? nullptr : __libc_realloc(block, size);
}

using start_main = int (*)(int (*)(int, char**, char**), int, char**, void (*)(), void (*)(),
                           void (*)(), void*);

int __libc_start_main(int (*main)(int, char**, char**), int argc, char** argv, void (*init)(),
                      void (*fini)(), void (*rtld_fini)(), void* stack_end) {
    real_main = main;
    const auto real = reinterpret_cast<start_main>(dlsym(RTLD_NEXT, "__libc_start_main"));
    return real(failing_main, argc, argv, init, fini, rtld_fini, stack_end);
}
}
