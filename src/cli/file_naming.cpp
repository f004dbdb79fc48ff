#include "cli/file_naming.h"

#include "cli/status.h"

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string map_path_for(std::string_view name) {
    std::string path(name.substr(0, name.rfind('.')));
    path += ".map";
    return path;
}

namespace {

// A stream that cannot be had for want of memory is that failure, not a missing file.
std::FILE* open_stream(const char* path, const char* mode) {
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr && errno == ENOMEM) {
        throw std::bad_alloc();
    }
    return file;
}

} // namespace

unique_file open_source(std::string_view first_argument, std::string& source_path) {
    source_path = first_argument;
    unique_file file(open_stream(source_path.c_str(), "rb"));
    if (!file && source_path.find('.') == std::string::npos) {
        source_path += ".dsc";
        file.reset(open_stream(source_path.c_str(), "rb"));
    }
    if (!file) {
        raise_status(STATUS_CANNOT_OPEN_SOURCE);
    }
    return file;
}

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opened without truncation, so that the file is only emptied once it is known not to be
// the DSC file.
int open_map_descriptor(const std::string& map_path, std::FILE* dsc_file) {
    const int fd = ::open(map_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        raise_status(STATUS_CANNOT_CREATE_MAP);
    }
    struct stat map_info {};
    struct stat dsc_info {};
    const bool usable = ::fstat(fd, &map_info) == 0 && ::fstat(fileno(dsc_file), &dsc_info) == 0 &&
                        !same_file(map_info, dsc_info) &&
                        (!S_ISREG(map_info.st_mode) || ::ftruncate(fd, 0) == 0);
    if (!usable) {
        ::close(fd);
        raise_status(STATUS_CANNOT_CREATE_MAP);
    }
    return fd;
}

} // namespace

unique_file create_map(const std::string& map_path, std::FILE* dsc_file) {
    const int fd = open_map_descriptor(map_path, dsc_file);
    unique_file file(::fdopen(fd, "wb"));
    if (!file) {
        const bool no_memory = errno == ENOMEM;
        ::close(fd);
        if (no_memory) {
            throw std::bad_alloc();
        }
        raise_status(STATUS_CANNOT_CREATE_MAP);
    }
    return file;
}

void close_map(unique_file map_file) {
    // fclose reports a failed flush too, and the file is closed whatever it reports.
    if (std::fclose(map_file.release()) != 0) {
        raise_status(STATUS_CANNOT_WRITE);
    }
}
