#include "platform/atomic_file.h"

#include "platform/files.h"

#include <cerrno>
#include <utility>

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
