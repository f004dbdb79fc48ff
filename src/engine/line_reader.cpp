#include "engine/line_reader.h"

#include "engine/files.h"
#include "platform/files.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 16;

} // namespace

line_reader::line_reader(std::FILE* file) : block_(BLOCK_SIZE, '\0') {
    // zlib reads by descriptor: the stream's own buffer must not have taken bytes first.
    std::rewind(file);
    const int fd = duplicate_descriptor(file);
    if (fd < 0) {
        problem_ = "cannot read the file: " + system_reason(errno);
        return;
    }
    gz_ = gzdopen(fd, "rb");
    if (gz_ == nullptr) {
        close_descriptor(fd);
        throw std::bad_alloc(); // zlib could not allocate its state
    }
}

line_reader::~line_reader() {
    if (gz_ != nullptr) {
        gzclose(gz_);
    }
}

bool line_reader::compressed() const {
    return gz_ != nullptr && gzdirect(gz_) == 0;
}

bool line_reader::refill() {
    const int got = gzread(gz_, block_.data(), static_cast<unsigned>(block_.size()));
    int code = Z_OK;
    const char* message = gzerror(gz_, &code);
    if (code == Z_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (got < 0 || (code != Z_OK && code != Z_BUF_ERROR)) {
        // zlib's message begins with the name it was opened by, here "<fd:N>: ".
        std::string_view said = message;
        if (const std::size_t colon = said.find(": "); colon != std::string_view::npos) {
            said.remove_prefix(colon + 2);
        }
        problem_ = "cannot read the file: " +
                   (code == Z_ERRNO ? system_reason(errno)
                                    : "damaged gzip data (" + std::string(said) + ")");
        return false;
    }
    if (got == 0 && code == Z_BUF_ERROR) {
        // zlib's way of saying the compressed stream stopped before its end.
        problem_ = "cannot read the file: the gzip data is cut short";
        return false;
    }
    at_ = 0;
    size_ = static_cast<std::size_t>(got);
    at_end_ = got == 0;
    return true;
}

line_status line_reader::next() {
    if (gz_ == nullptr) {
        return line_status::failed;
    }
    line_.clear();
    bool any = false;
    while (true) {
        if (at_ == size_) {
            if (at_end_ || !refill()) {
                break;
            }
            if (at_end_) {
                break;
            }
        }
        const char* start = block_.data() + at_;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', size_ - at_));
        const std::size_t taken =
            lf == nullptr ? size_ - at_ : static_cast<std::size_t>(lf - start);
        any = true;
        if (line_.size() + taken > SOURCE_LINE_MAX + 1) {
            // One byte more than allowed is kept, for a CR that may end the line.
            line_.append(start, SOURCE_LINE_MAX + 1 - line_.size());
            ++number_;
            line_.resize(SOURCE_LINE_MAX);
            return line_status::too_long;
        }
        line_.append(start, taken);
        at_ += taken;
        if (lf != nullptr) {
            ++at_;
            break;
        }
    }
    if (!problem_.empty()) {
        return line_status::failed;
    }
    if (!any) {
        return line_status::end;
    }
    if (line_.ends_with('\r')) {
        line_.pop_back();
    }
    if (line_.size() > SOURCE_LINE_MAX) {
        ++number_;
        line_.resize(SOURCE_LINE_MAX);
        return line_status::too_long;
    }
    ++number_;
    return line_status::line;
}
