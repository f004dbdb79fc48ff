#include "mapmaker/file_naming.h"

#include "mapmaker/status.h"
#include "platform/file_identity.h"

#include <cerrno>
#include <new>

std::string map_path_for(std::string_view name) {
    std::string path(name.substr(0, name.rfind('.')));
    path += ".map";
    return path;
}

namespace {

// A stream that cannot be had for want of memory is that failure, not a missing file.
std::FILE* open_stream(const std::string& path, const char* mode) {
    std::FILE* file = open_file(path, mode);
    if (file == nullptr && errno == ENOMEM) {
        throw std::bad_alloc();
    }
    return file;
}

} // namespace

unique_file open_source(std::string_view first_argument, std::string& source_path) {
    source_path = first_argument;
    unique_file file(open_stream(source_path, "rb"));
    if (!file && source_path.find('.') == std::string::npos) {
        source_path += ".dsc";
        file.reset(open_stream(source_path, "rb"));
    }
    if (!file) {
        raise_status(status_code::cannot_open_source);
    }
    return file;
}

namespace {

// Opened without truncation, so that the file is only emptied once it is known not to be
// the DSC file.
int open_map_descriptor(const std::string& map_path, std::FILE* dsc_file) {
    const int fd = open_for_writing(map_path);
    if (fd < 0) {
        raise_status(status_code::cannot_create_map);
    }
    const bool usable =
        !same_file(fd, descriptor_of(dsc_file)) && (!is_regular_file(fd) || truncate_file(fd));
    if (!usable) {
        close_descriptor(fd);
        raise_status(status_code::cannot_create_map);
    }
    return fd;
}

} // namespace

unique_file create_map(const std::string& map_path, std::FILE* dsc_file) {
    const int fd = open_map_descriptor(map_path, dsc_file);
    unique_file file(::fdopen(fd, "wb"));
    if (!file) {
        const bool no_memory = errno == ENOMEM;
        close_descriptor(fd);
        if (no_memory) {
            throw std::bad_alloc();
        }
        raise_status(status_code::cannot_create_map);
    }
    return file;
}

void close_map(unique_file map_file) {
    // fclose reports a failed flush too, and the file is closed whatever it reports.
    if (std::fclose(map_file.release()) != 0) {
        raise_status(status_code::cannot_write);
    }
}
