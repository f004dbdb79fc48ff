#include "table/file_identity.h"

#include <cstdint>
#include <optional>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

struct file_id {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const file_id&) const = default;
};

#ifdef _WIN32
// Windows' C runtime leaves st_ino 0 for every file, so the identity is the one the system
// keeps: the volume's serial number and the file's index on that volume.
std::optional<file_id> identify(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return file_id{info.dwVolumeSerialNumber,
                   (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}
#else
std::optional<file_id> identify(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    return file_id{static_cast<std::uint64_t>(info.st_dev),
                   static_cast<std::uint64_t>(info.st_ino)};
}
#endif

} // namespace

bool same_file(int fd_a, int fd_b) {
    const std::optional<file_id> a = identify(fd_a);
    const std::optional<file_id> b = identify(fd_b);
    return !a || !b || *a == *b;
}
