#include "engine/line_reader.h"

#include "engine/files.h"
#include "platform/atomic_file.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 16;
constexpr std::string_view GZIP_MAGIC = "\x1f\x8b";

} // namespace

void line_reader::inflate_end::operator()(z_stream_s* stream) const {
    inflateEnd(stream);
    delete stream;
}

line_reader::line_reader(std::FILE* file)
    : file_(file), input_(BLOCK_SIZE, '\0'), block_(BLOCK_SIZE, '\0') {
    std::rewind(file);
}

line_reader::~line_reader() = default;

bool line_reader::fail(std::string why) {
    problem_ = "cannot read the file: " + std::move(why);
    return false;
}

// Moves the compressed bytes not yet taken to the front and reads more after them.
bool line_reader::read_input() {
    const std::size_t held = z_->avail_in;
    std::memmove(input_.data(), z_->next_in, held);
    const std::size_t got = std::fread(input_.data() + held, 1, input_.size() - held, file_);
    if (got == 0 && std::ferror(file_) != 0) {
        return fail(system_reason(errno));
    }
    input_ended_ = got == 0;
    z_->next_in = reinterpret_cast<Bytef*>(input_.data());
    z_->avail_in = static_cast<uInt>(held + got);
    return true;
}

// Uncompresses the next bytes into the block: at least one, unless the data has ended.
bool line_reader::inflate_block() {
    z_->next_out = reinterpret_cast<Bytef*>(block_.data());
    z_->avail_out = static_cast<uInt>(block_.size());
    while (z_->avail_out == block_.size()) {
        if (member_ended_) {
            // Members may follow each other, as gzip writes them when files are joined;
            // anything else after the end is no part of the data, and hides what it is.
            if (z_->avail_in < GZIP_MAGIC.size() && !input_ended_ && !read_input()) {
                return false;
            }
            if (z_->avail_in == 0 && input_ended_) {
                break;
            }
            if (z_->avail_in < GZIP_MAGIC.size() ||
                std::memcmp(z_->next_in, GZIP_MAGIC.data(), GZIP_MAGIC.size()) != 0) {
                return fail("data after the end of the gzip data");
            }
            inflateReset(z_.get());
            member_ended_ = false;
        }
        if (z_->avail_in == 0) {
            if (input_ended_) {
                return fail("the gzip data is cut short");
            }
            if (!read_input()) {
                return false;
            }
            continue;
        }
        const int code = inflate(z_.get(), Z_NO_FLUSH);
        if (code == Z_MEM_ERROR) {
            throw_out_of_memory();
        }
        if (code == Z_STREAM_END) {
            member_ended_ = true;
        } else if (code != Z_OK && code != Z_BUF_ERROR) {
            return fail("damaged gzip data (" +
                        std::string(z_->msg != nullptr ? z_->msg : "compressed data error") + ")");
        }
    }
    size_ = block_.size() - z_->avail_out;
    return true;
}

bool line_reader::refill() {
    at_ = 0;
    size_ = 0;
    if (mode_ == mode::unknown) {
        // Told by the first bytes, as gzip does: the magic, or text to be read as it is.
        const std::size_t got = std::fread(block_.data(), 1, block_.size(), file_);
        if (got == 0 && std::ferror(file_) != 0) {
            return fail(system_reason(errno));
        }
        if (!std::string_view(block_.data(), got).starts_with(GZIP_MAGIC)) {
            mode_ = mode::plain;
            size_ = got;
            at_end_ = got == 0;
            return true;
        }
        mode_ = mode::gzip;
        input_.swap(block_);
        z_.reset(new z_stream_s{});
        z_->next_in = reinterpret_cast<Bytef*>(input_.data());
        z_->avail_in = static_cast<uInt>(got);
        if (inflateInit2(z_.get(), 16 + MAX_WBITS) != Z_OK) {
            throw_out_of_memory(); // zlib could not allocate its state: inflateEnd frees nothing
        }
    }
    if (mode_ == mode::plain) {
        size_ = std::fread(block_.data(), 1, block_.size(), file_);
        if (size_ == 0 && std::ferror(file_) != 0) {
            return fail(system_reason(errno));
        }
    } else if (!inflate_block()) {
        return false;
    }
    at_end_ = size_ == 0;
    return true;
}

line_status line_reader::next() {
    line_.clear();
    bool any = false;
    while (true) {
        if (at_ == size_) {
            if (at_end_ || !refill() || at_end_) {
                break;
            }
        }
        const char* start = block_.data() + at_;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', size_ - at_));
        const std::size_t taken =
            lf == nullptr ? size_ - at_ : static_cast<std::size_t>(lf - start);
        any = true;
        if (line_.size() + taken > SOURCE_LINE_MAX + 1) {
            // One byte more than allowed is kept, for a CR that may end the line; the next
            // line read starts after it, so that a reader skipping lines gets on.
            const std::size_t kept = SOURCE_LINE_MAX + 1 - line_.size();
            line_.append(start, kept);
            at_ += kept;
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
