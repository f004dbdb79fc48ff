// The platform layer on Windows (MinGW-w64): paths are UTF-8 in the program and UTF-16 for
// the system, descriptors are the C runtime's.
#include "platform/file_identity.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

// The UTF-16 form of UTF-8 text; none when the text is not valid UTF-8.
std::optional<std::wstring> wide(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          result.data(), size);
    return result;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          size, nullptr, nullptr);
    return result;
}

} // namespace

std::FILE* open_file(const std::string& path, const char* mode) {
    const std::optional<std::wstring> name = wide(path);
    const std::optional<std::wstring> how = wide(mode);
    if (!name || !how) {
        errno = EINVAL;
        return nullptr;
    }
    return ::_wfopen(name->c_str(), how->c_str());
}

int open_for_writing(const char* path) {
    // Binary, so that no CR is put before an LF byte of a record.
    return ::_open(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool is_regular_file(int fd) {
    struct _stat64 info {};
    return ::_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

bool truncate_file(int fd) {
    return ::_chsize_s(fd, 0) == 0;
}

int descriptor_of(std::FILE* stream) {
    return ::_fileno(stream);
}

int duplicate_descriptor(std::FILE* stream) {
    return ::_dup(::_fileno(stream));
}

void close_descriptor(int fd) {
    ::_close(fd);
}

void set_binary(std::FILE* stream) {
    ::_setmode(::_fileno(stream), _O_BINARY);
}

bool is_terminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

std::string error_text(int error_number) {
    return std::strerror(error_number);
}

int create_new_file(const std::string& name) {
    const std::optional<std::wstring> path = wide(name);
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    return ::_wopen(path->c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

void keep_mode_and_owner(int, const std::string&) {}

bool may_write(const std::string& path) {
    const std::optional<std::wstring> name = wide(path);
    if (!name) {
        return true;
    }
    const DWORD attributes = ::GetFileAttributesW(name->c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

std::uint32_t process_id() {
    return ::GetCurrentProcessId();
}

bool process_running(std::uint32_t id) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        // No such process; any other refusal means it is there.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

bool sync_to_disk(int fd) {
    return ::_commit(fd) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = wide(from);
    const std::optional<std::wstring> target = wide(to);
    if (!source || !target) {
        errno = EINVAL;
        return false;
    }
    if (::MoveFileExW(source->c_str(), target->c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
    }
    errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

bool remove_file(const std::string& path) {
    const std::optional<std::wstring> name = wide(path);
    return name && ::_wremove(name->c_str()) == 0;
}

// Windows' tmpfile() makes the file in the root folder of the current drive, where a user
// may not write, so it goes in the user's temporary folder ("D": deleted on close).
std::FILE* temporary_stream() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 ||
        ::GetTempFileNameW(folder, L"mt", 0, name) == 0) {
        return nullptr;
    }
    return ::_wfopen(name, L"w+bD");
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (words == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(narrow(words[i]));
    }
    ::LocalFree(words);
    return arguments;
}

std::string program_path() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (got == 0) {
            return {};
        }
        if (got < name.size()) { // else cut off: try again with more room
            name.resize(got);
            return narrow(name);
        }
        name.resize(2 * name.size());
    }
}

namespace {

struct file_id {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const file_id&) const = default;
};

// The C runtime leaves st_ino 0 for every file, so the identity is the one the system
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

} // namespace

bool same_file(int fd_a, int fd_b) {
    const std::optional<file_id> a = identify(fd_a);
    const std::optional<file_id> b = identify(fd_b);
    return !a || !b || *a == *b;
}

bool same_file_as_path(int fd, const std::string& path) {
    const std::optional<std::wstring> name = wide(path);
    if (!name) {
        return false;
    }
    // No access asked for: the handle only reads the file's identity, and opens even a
    // folder (backup semantics).
    const HANDLE handle =
        ::CreateFileW(name->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    const std::optional<file_id> open = identify(fd);
    return !known || !open ||
           *open == file_id{info.dwVolumeSerialNumber,
                            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}
