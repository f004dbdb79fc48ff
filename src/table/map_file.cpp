#include "table/map_file.h"

#include "table/map_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Creates a new file beside the target, named after it, for writing bytes as they are.
int create_temporary(std::string& name) {
#if defined(_WIN32)
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = name + ".XXXXXX";
        if (_mktemp_s(candidate.data(), candidate.size() + 1) != 0) {
            return -1;
        }
        const int fd = _open(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                             _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) {
            name = candidate;
            return fd;
        }
    }
    return -1;
#else
    name += ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd >= 0) {
        // mkstemp makes the file private; a map file gets the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    return fd;
#endif
}

bool flush_to_disk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#if defined(_WIN32)
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(fileno(file)) == 0;
#endif
}

bool replace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Writes a new file beside path with `write`, flushed to disk, then renames it over path.
template <typename Write>
bool replace_file(const std::filesystem::path& path, Write write, std::string& error) {
    std::string temporary = path.string();
    const int fd = create_temporary(temporary);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::unique_ptr<std::FILE, file_closer> file(fdopen(fd, "wb"));
    if (!file) {
        error = std::strerror(errno);
        ::close(fd);
        std::remove(temporary.c_str());
        return false;
    }
    errno = 0;
    bool written = write(file.get()) && flush_to_disk(file.get());
    written = std::fclose(file.release()) == 0 && written;
    if (written && replace(temporary, path.string())) {
        return true;
    }
    error = errno != 0 ? std::strerror(errno) : "write failed";
    std::remove(temporary.c_str());
    return false;
}

} // namespace

bool write_map_file(const std::filesystem::path& path, const code_table& table,
                    std::string& error) {
    return replace_file(
        path, [&table](std::FILE* file) { return write_map(table, file); }, error);
}

bool write_text_file(const std::filesystem::path& path, std::string_view text, std::string& error) {
    return replace_file(
        path,
        [text](std::FILE* file) {
            return std::fwrite(text.data(), 1, text.size(), file) == text.size();
        },
        error);
}
