#include "platform/atomic_file.h"

#include "platform/files.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

// The file a chain of links names, whether it is there yet or not; the path itself when
// it is no link.
fs::path followed(fs::path path) {
    std::error_code ignored;
    for (int hops = 0; hops < 40 && fs::is_symlink(path, ignored); ++hops) {
        const fs::path next = fs::read_symlink(path, ignored);
        if (next.empty()) {
            break;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

} // namespace

atomic_file::atomic_file(std::string target) : target_(std::move(target)) {}

atomic_file::~atomic_file() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (!temporary_.empty()) {
        remove_file(temporary_);
    }
}

int atomic_file::open() {
    std::error_code ignored;
    const fs::path target = followed(path_from_utf8(target_));
    target_ = utf8_from_path(target);
    const fs::file_status status = fs::status(target, ignored);
    if ((fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) ||
        names_a_device(target_)) {
        in_place_ = true;
        stream_ = open_file(target_, "wb");
        return stream_ != nullptr ? 0 : errno;
    }
    std::string name = target_;
    const int fd = create_unique_file(name);
    if (fd < 0) {
        return errno;
    }
    temporary_ = name;
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int error = errno;
        close_descriptor(fd);
        return error;
    }
    return 0;
}

int atomic_file::commit() {
    errno = 0;
    if (in_place_) {
        const bool written = std::ferror(stream_) == 0 && std::fflush(stream_) == 0;
        const int error = errno;
        const bool closed = std::fclose(std::exchange(stream_, nullptr)) == 0;
        return written && closed ? 0 : error != 0 ? error : errno != 0 ? errno : EIO;
    }
    // A write error may only show when the buffer is flushed; a full disk may only show
    // when the data is synced.
    bool written = std::ferror(stream_) == 0 && std::fflush(stream_) == 0 &&
                   sync_to_disk(descriptor_of(stream_));
    int error = errno;
    std::FILE* stream = std::exchange(stream_, nullptr);
    if (std::fclose(stream) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && !replace_file(temporary_, target_)) {
        written = false;
        error = errno;
    }
    if (!written) {
        return error != 0 ? error : EIO;
    }
    temporary_.clear();
    return 0;
}
