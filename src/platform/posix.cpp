// The platform layer on POSIX systems.
#include "platform/file_identity.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* open_file(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

int open_for_writing(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

bool is_regular_file(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool names_a_device(const std::string&) {
    return false;
}

bool truncate_file(int fd) {
    return ::ftruncate(fd, 0) == 0;
}

int descriptor_of(std::FILE* stream) {
    return ::fileno(stream);
}

int duplicate_descriptor(std::FILE* stream) {
    return ::dup(::fileno(stream));
}

void close_descriptor(int fd) {
    ::close(fd);
}

void set_binary(std::FILE*) {}

bool is_terminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

std::string error_text(int error_number) {
    return std::strerror(error_number);
}

int create_new_file(const std::string& name) {
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

void keep_mode_and_owner(int fd, const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return;
    }
    // Only root may give a file away; anyone may give it a group of their own. Changing
    // the owner clears the set-ID bits, so the mode comes after it.
    if (::fchown(fd, info.st_uid, info.st_gid) != 0) {
        (void)!::fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    }
    ::fchmod(fd, info.st_mode & 07777);
}

bool may_write(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

std::uint32_t process_id() {
    return static_cast<std::uint32_t>(::getpid());
}

bool process_running(std::uint32_t id) {
    // EPERM: it runs, as another user.
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

void fail_writes_beyond_size_limit() {
    ::signal(SIGXFSZ, SIG_IGN);
}

bool sync_to_disk(int fd) {
    return ::fsync(fd) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

std::FILE* temporary_stream() {
    return std::tmpfile();
}

bool write_text(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

char** utf8_argv(int, char** argv) {
    return argv;
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string program_path() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

namespace {

struct file_id {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const file_id&) const = default;
};

std::optional<file_id> identify(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    return file_id{static_cast<std::uint64_t>(info.st_dev),
                   static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace

bool same_file(int fd_a, int fd_b) {
    const std::optional<file_id> a = identify(fd_a);
    const std::optional<file_id> b = identify(fd_b);
    return !a || !b || *a == *b;
}

bool same_file_as_path(int fd, const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    const std::optional<file_id> open = identify(fd);
    return !open || *open == file_id{static_cast<std::uint64_t>(info.st_dev),
                                     static_cast<std::uint64_t>(info.st_ino)};
}
