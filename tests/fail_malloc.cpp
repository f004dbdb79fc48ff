// Preloaded into a tool (LD_PRELOAD) to make every allocation fail once main has started,
// as on a machine whose memory stays exhausted. Start-up itself still gets its memory.

#include <cerrno>
#include <cstddef>

#include <dlfcn.h>

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);

namespace {
bool failing = false;
int (*real_main)(int, char**, char**) = nullptr;

int failing_main(int argc, char** argv, char** envp) {
    failing = true;
    return real_main(argc, argv, envp);
}
} // namespace

void* malloc(std::size_t size) {
    if (failing) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    if (failing) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) {
    if (failing) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(block, size);
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
