#include "engine/rewrite.h"

#include "engine/files.h"
#include "engine/visible.h"
#include "platform/atomic_file.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace {

constexpr std::size_t BLOCK = std::size_t{1} << 16;

// The old text, read block by block behind the new one as it comes.
class old_text {
  public:
    explicit old_text(std::FILE* file) : file_(file), block_(std::make_unique<char[]>(BLOCK)) {}

    // How many bytes of `text` the old text has next; the old text moves on by them.
    std::size_t match(std::string_view text) {
        std::size_t matched = 0;
        while (matched < text.size()) {
            if (at_ == size_ && !refill()) {
                break;
            }
            const std::size_t n = std::min(size_ - at_, text.size() - matched);
            const char* old = block_.get() + at_;
            // Most runs are the same throughout, which one memcmp tells.
            std::size_t same = n;
            if (std::memcmp(old, text.data() + matched, n) != 0) {
                same = static_cast<std::size_t>(
                    std::mismatch(old, old + n, text.data() + matched).first - old);
            }
            at_ += same;
            matched += same;
            if (same < n) {
                break;
            }
        }
        return matched;
    }

    // Whether the old text goes on past what was matched.
    bool goes_on() { return at_ < size_ || refill(); }

    // Back to the start of the old text.
    bool rewind() {
        at_ = size_ = 0;
        return std::fseek(file_, 0, SEEK_SET) == 0;
    }

    // Copies the first `count` bytes of the old text to `to`; false when a read or a
    // write failed.
    bool copy_start(std::size_t count, std::FILE* to) {
        if (!rewind()) {
            return false;
        }
        while (count > 0) {
            const std::size_t got = std::fread(block_.get(), 1, std::min(count, BLOCK), file_);
            if (got == 0 || std::fwrite(block_.get(), 1, got, to) != got) {
                return false;
            }
            count -= got;
        }
        return true;
    }

    // The whole old text, for a diff.
    std::string whole() {
        std::string text;
        rewind();
        for (std::size_t got; (got = std::fread(block_.get(), 1, BLOCK, file_)) > 0;) {
            text.append(block_.get(), got);
        }
        return text;
    }

    bool failed() const { return std::ferror(file_) != 0; }

  private:
    bool refill() {
        at_ = 0;
        size_ = std::fread(block_.get(), 1, BLOCK, file_);
        return size_ > 0;
    }

    std::FILE* file_;
    std::unique_ptr<char[]> block_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
};

// Where the new text of a file goes: compared with the old text as it comes; when it
// differs and the file is to be written, into a replacement that starts with the old text's
// unchanged bytes. Where the folder takes no temporary file, the file is written in place,
// and must keep its old text until that is read: the new text then waits in a scratch file,
// copied over the file once the old text is read and closed. With `keep`, the new text is
// also held whole (for a diff, or for standard output once it is accepted), and compared
// with the old text at the end.
class new_text {
  public:
    new_text(std::FILE* old, const std::string& path, bool write, bool keep)
        : old_(old), path_(path), write_(write), keep_(keep) {}

    void put(std::string_view piece) {
        if (keep_) {
            kept_ += piece;
            return;
        }
        if (error_ != 0) {
            return;
        }
        if (!changed_) {
            const std::size_t same = old_.match(piece);
            if (same == piece.size()) {
                unchanged_ += same;
                return;
            }
            changed_ = true;
            if (!write_ || !start_replacement(unchanged_ + same)) {
                return;
            }
            piece.remove_prefix(same);
        } else if (!write_) {
            return;
        }
        if (std::fwrite(piece.data(), 1, piece.size(), out_) != piece.size()) {
            error_ = errno != 0 ? errno : EIO;
        }
    }

    // After the last piece: whether the new text differs from the old. A new text that is
    // the old one's start still differs.
    bool changed() {
        if (keep_) {
            return !whole_match();
        }
        if (!changed_ && error_ == 0 && old_.goes_on()) {
            changed_ = true;
            if (write_) {
                start_replacement(unchanged_);
            }
        }
        return changed_;
    }

    // Replaces the file with the new text, once the old one is closed.
    result<written_file> commit() {
        if (error_ != 0) {
            return failure{system_reason(error_)};
        }
        if (replacement_) {
            if (const int error = replacement_->commit(); error != 0) {
                return failure{system_reason(error)};
            }
            return written_file{replacement_->written_in_place()};
        }
        if (std::fflush(scratch_.get()) != 0 || std::fseek(scratch_.get(), 0, SEEK_SET) != 0) {
            return failure{system_reason(errno != 0 ? errno : EIO)};
        }
        return replace_file_with(path_, [this](std::FILE* to) {
            const auto block = std::make_unique<char[]>(BLOCK);
            for (std::size_t got; (got = std::fread(block.get(), 1, BLOCK, scratch_.get())) > 0;) {
                if (std::fwrite(block.get(), 1, got, to) != got) {
                    return false;
                }
            }
            return std::ferror(scratch_.get()) == 0;
        });
    }

    bool old_unreadable() const { return old_.failed(); }
    std::string old_whole() { return old_.whole(); }
    const std::string& kept() const { return kept_; }

  private:
    bool start_replacement(std::size_t unchanged) {
        errno = 0;
        replacement_ = std::make_unique<atomic_file>(path_);
        replacement_->defer_in_place();
        error_ = replacement_->open();
        if (error_ == 0) {
            out_ = replacement_->stream();
        } else if (replacement_->in_place_deferred()) {
            replacement_.reset();
            errno = 0;
            scratch_.reset(temporary_stream());
            out_ = scratch_.get();
            error_ = out_ != nullptr ? 0 : errno != 0 ? errno : EIO;
        }
        // Pieces are lines or runs of lines: one write call per block, not per line or per
        // page (glibc takes no size without a buffer).
        if (error_ == 0) {
            write_buffer_ = std::make_unique<char[]>(BLOCK);
            std::setvbuf(out_, write_buffer_.get(), _IOFBF, BLOCK);
        }
        if (error_ == 0 && !old_.copy_start(unchanged, out_)) {
            error_ = errno != 0 ? errno : EIO;
        }
        return error_ == 0;
    }

    bool whole_match() {
        return old_.rewind() && old_.match(kept_) == kept_.size() && !old_.goes_on();
    }

    old_text old_;
    const std::string& path_;
    bool write_;
    bool keep_;
    bool changed_ = false;
    std::size_t unchanged_ = 0;            // bytes of the new text that are the old text's first
    std::unique_ptr<char[]> write_buffer_; // outlives the stream that uses it
    std::unique_ptr<atomic_file> replacement_;
    input_file scratch_; // the new text of a file written in place
    std::FILE* out_ = nullptr;
    int error_ = 0;
    std::string kept_;
};

} // namespace

rewrite_outcome rewrite_file(const std::string& path, rewrite_mode mode,
                             const transformation& transform, diagnostics& report,
                             const text_sink& out) {
    const std::string name = display_name(path);
    const bool from_stdin = path == "-";
    result<input_file> in = open_input(path);
    if (in && from_stdin) {
        in = rewindable(std::move(*in));
    }
    if (!in) {
        report.report(file_error(name, in.error().message));
        return rewrite_outcome::failed;
    }
    if (!from_stdin && !is_regular_file(descriptor_of(in->get()))) {
        report.report(file_error(name, "not a regular file: only a file can be rewritten"));
        return rewrite_outcome::failed;
    }
    // A file's old text is read a second time beside the transformation's reading; standard
    // input's copy only once the transformation is done with it.
    input_file second;
    if (!from_stdin) {
        result<input_file> again = open_input(path);
        if (!again) {
            report.report(file_error(name, again.error().message));
            return rewrite_outcome::failed;
        }
        second = std::move(*again);
    }
    const bool keep = from_stdin || mode == rewrite_mode::diff;
    new_text text(from_stdin ? in->get() : second.get(), path,
                  mode == rewrite_mode::write && !from_stdin, keep);
    if (!transform(in->get(), name, [&text](std::string_view piece) { text.put(piece); })) {
        return rewrite_outcome::refused;
    }
    const bool changed = text.changed();
    if (text.old_unreadable()) {
        report.report(file_error(name, "cannot read the file"));
        return rewrite_outcome::failed;
    }
    const rewrite_outcome outcome = changed ? rewrite_outcome::changed : rewrite_outcome::unchanged;
    if (mode == rewrite_mode::diff) {
        if (changed) {
            unified_diff(visible(name), text.old_whole(), visible(name), text.kept(), out);
        }
        return outcome;
    }
    if (from_stdin && mode == rewrite_mode::write) {
        out(text.kept());
    }
    if (!changed || mode == rewrite_mode::check || from_stdin) {
        return outcome;
    }
    // Windows renames nothing over a file that is open.
    in->reset();
    second.reset();
    const result<written_file> written = text.commit();
    if (!written) {
        report.report(file_error(name, "cannot write the file: " + written.error().message));
        return rewrite_outcome::failed;
    }
    report_in_place(report, path, *written);
    return outcome;
}

std::vector<std::string> distinct_files(const std::vector<std::string>& paths) {
    // Two names of one file have one size: only those are compared, so that a long list
    // costs one look at each file and few comparisons.
    struct named {
        const std::string* path;
        std::optional<std::uintmax_t> size;
    };
    std::vector<named> kept;
    std::vector<std::string> distinct;
    for (const std::string& path : paths) {
        std::error_code unknown;
        std::optional<std::uintmax_t> size;
        if (path != "-") {
            const std::uintmax_t bytes = std::filesystem::file_size(path_from_utf8(path), unknown);
            if (!unknown) {
                size = bytes;
            }
        }
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](const named& before) {
            return *before.path == path ||
                   (size && before.size == size && is_same_file(*before.path, path));
        });
        if (!seen) {
            kept.push_back({&path, size});
            distinct.push_back(path);
        }
    }
    return distinct;
}
