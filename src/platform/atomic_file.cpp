#include "platform/atomic_file.h"

#include "platform/files.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>
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

// The name a temporary file for target gets: target's name, cut to leave room, then
// ".maptool-PID.tmp". A name of 255 bytes is legal, and the temporary name must stay
// within the same limit (255 bytes, or 255 UTF-16 units on Windows, never more than the
// bytes), so the cut is made between two characters.
constexpr std::string_view TEMPORARY_MARK = ".maptool-";
constexpr std::string_view TEMPORARY_END = ".tmp";
constexpr std::size_t NAME_MAX_BYTES = 255;

std::string temporary_prefix(const fs::path& target) {
    std::string name = utf8_from_path(target.filename());
    const std::size_t room =
        NAME_MAX_BYTES - TEMPORARY_MARK.size() - 10 /* digits of a pid */ - TEMPORARY_END.size();
    if (name.size() > room) {
        std::size_t end = room;
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
            --end;
        }
        name.resize(end);
    }
    return name + std::string(TEMPORARY_MARK);
}

// The process id a temporary name of this prefix holds, or none for any other name.
std::optional<std::uint32_t> temporary_owner(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || !name.ends_with(TEMPORARY_END)) {
        return std::nullopt;
    }
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - TEMPORARY_END.size());
    std::uint32_t id = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return id;
}

// Removes the temporary files for target that a run killed before it could remove them
// left behind: those whose process is gone. A running process's file is its own; this
// process has none open for target.
void remove_stale_temporaries(const fs::path& target, const std::string& prefix) {
    std::error_code ignored;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (fs::directory_iterator entry(folder, ignored), end; !ignored && entry != end;
         entry.increment(ignored)) {
        const std::string name = utf8_from_path(entry->path().filename());
        const std::optional<std::uint32_t> owner = temporary_owner(name, prefix);
        if (owner && (*owner == process_id() || !process_running(*owner))) {
            remove_file(utf8_from_path(entry->path()));
        }
    }
}

bool folder_refuses(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

bool memory_ran_out = false;

} // namespace

void note_out_of_memory() noexcept {
    memory_ran_out = true;
}

bool out_of_memory_noted() noexcept {
    return memory_ran_out;
}

void throw_out_of_memory() {
    note_out_of_memory();
    throw std::bad_alloc();
}

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
    const fs::path target = followed(path_from_utf8(target_));
    target_ = utf8_from_path(target);
    std::error_code unknown;
    const fs::file_status status = fs::status(target, unknown);
    if ((fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) ||
        names_a_device(target_)) {
        in_place_ = true;
        stream_ = open_file(target_, "wb");
        return stream_ != nullptr ? 0 : errno;
    }
    if (unknown && unknown != std::errc::no_such_file_or_directory) {
        // A loop of links (ELOOP) or a folder on the way that cannot be searched: what
        // the target is cannot be known, and replacing the link would lose it.
        return unknown.default_error_condition().value();
    }
    const bool exists = fs::exists(status);
    if (exists && !may_write(target_)) {
        return EACCES; // marked read-only: mapmaker could not write it either
    }
    const std::string prefix = temporary_prefix(target);
    remove_stale_temporaries(target, prefix);
    std::string name = utf8_from_path(target.parent_path() / path_from_utf8(prefix)) +
                       std::to_string(process_id()) + std::string(TEMPORARY_END);
    const int fd = create_new_file(name);
    if (fd < 0) {
        const int error = errno;
        if (exists && fs::is_regular_file(status) && folder_refuses(error)) {
            if (defer_in_place_) {
                in_place_deferred_ = true;
                return error;
            }
            // The folder takes no new file, but the map may be written: as mapmaker does.
            in_place_ = true;
            written_in_place_ = true;
            stream_ = open_file(target_, "wb");
            return stream_ != nullptr ? 0 : errno;
        }
        return error;
    }
    // Moved, not copied: from here on nothing may fail before the destructor knows the
    // file is there to remove.
    temporary_ = std::move(name);
    if (exists) {
        keep_mode_and_owner(fd, target_);
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int error = errno;
        close_descriptor(fd);
        return error;
    }
    return 0;
}

int atomic_file::commit() {
    if (memory_ran_out) {
        return ENOMEM;
    }
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
