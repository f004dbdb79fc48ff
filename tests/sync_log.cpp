// Preloaded into a tool (LD_PRELOAD) to log, in the order they are made, its calls that
// flush a file to disk and that rename one: a line "fsync NAME SIZE" or "fdatasync NAME
// SIZE" per flush, the size being what the file holds then, and "rename FROM TO" per
// rename, every name without its folder. The log goes to the file SYNC_LOG names; without
// it the calls are only passed on.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// The name of the file open as fd, without its folder, and its size.
std::string file_of(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return "?";
    }
    target[length] = '\0';
    struct stat info {};
    return base_name(target) + ' ' +
           (::fstat(fd, &info) == 0 ? std::to_string(info.st_size) : std::string("?"));
}

void log_line(const std::string& line) {
    const char* path = std::getenv("SYNC_LOG");
    if (path == nullptr) {
        return;
    }
    const int saved = errno;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string text = line + '\n';
        [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
        ::close(fd);
    }
    errno = saved;
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int fsync(int fd) {
    log_line("fsync " + file_of(fd));
    return next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd) {
    log_line("fdatasync " + file_of(fd));
    return next<int (*)(int)>("fdatasync")(fd);
}

int rename(const char* from, const char* to) {
    log_line("rename " + base_name(from) + ' ' + base_name(to));
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    log_line("rename " + base_name(from) + ' ' + base_name(to));
    return next<int (*)(int, const char*, int, const char*)>("renameat")(from_dir, from, to_dir,
                                                                         to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    log_line("rename " + base_name(from) + ' ' + base_name(to));
    return next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(
        from_dir, from, to_dir, to, flags);
}
}
