// The platform layer on Windows (MinGW-w64): paths are UTF-8 in the program and UTF-16 for
// the system, descriptors are the C runtime's.
#include "platform/file_identity.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
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

// A path for the wide calls: a long one (from about MAX_PATH on, where the plain calls
// fail) made absolute and prefixed with \\?\, which lifts the limit.
std::optional<std::wstring> wide_path(std::string_view text) {
    std::optional<std::wstring> path = wide(text);
    if (!path || path->size() < MAX_PATH - 20 || path->starts_with(L"\\\\?\\")) {
        return path;
    }
    const DWORD size = ::GetFullPathNameW(path->c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD got = ::GetFullPathNameW(path->c_str(), size, full.data(), nullptr);
    if (size == 0 || got == 0 || got >= size) {
        return path;
    }
    full.resize(got);
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

// Error numbers from this one on carry a Windows error code, so that error_text gives the
// system's own words for a failure the C runtime's numbers do not tell apart.
constexpr int SYSTEM_ERROR_BASE = 0x10000;

int system_error(DWORD code) {
    return SYSTEM_ERROR_BASE + static_cast<int>(code);
}

bool is_folder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Why a file did not open, in the system's words where the C runtime's number says less:
// a folder is "Is a directory" as elsewhere (Windows itself says "Access is denied").
void explain_failed_open(const std::wstring& path) {
    const unsigned long code = _doserrno;
    if (errno == ENOMEM) {
        return;
    }
    if (is_folder(path)) {
        errno = EISDIR;
    } else if (code != 0) {
        errno = system_error(code);
    }
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
    const std::optional<std::wstring> name = wide_path(path);
    const std::optional<std::wstring> how = wide(mode);
    if (!name || !how) {
        errno = EINVAL;
        return nullptr;
    }
    _doserrno = 0;
    std::FILE* file = ::_wfopen(name->c_str(), how->c_str());
    if (file == nullptr) {
        explain_failed_open(*name);
    }
    return file;
}

namespace {

// Opens a file to write by its UTF-8 name; binary, so that no CR is put before an LF byte
// of a record.
int open_to_write(const std::string& path, int flags) {
    const std::optional<std::wstring> name = wide_path(path);
    if (!name) {
        errno = EINVAL;
        return -1;
    }
    return ::_wopen(name->c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | flags,
                    _S_IREAD | _S_IWRITE);
}

} // namespace

int open_for_writing(const std::string& path) {
    return open_to_write(path, 0);
}

bool is_regular_file(int fd) {
    struct _stat64 info {};
    return ::_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

namespace {

// A handle that asks for no access: it only tells what a file is, and opens even a
// folder (backup semantics).
HANDLE open_to_look(const std::wstring& name) {
    return ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

bool names_a_device(const std::string& path) {
    const std::optional<std::wstring> name = wide_path(path);
    if (!name) {
        return false;
    }
    const HANDLE handle = open_to_look(*name);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    // NUL, CON, COM1 and the like; a named pipe is no target for a map.
    return type == FILE_TYPE_CHAR;
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

namespace {

// The console a stream writes to; none for a file or a pipe.
HANDLE console_of(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

} // namespace

// A console shows colour once its virtual terminal mode is on (Windows 10 on); where that
// cannot be turned on, escape codes would show as they are.
bool is_terminal(std::FILE* stream) {
    const HANDLE console = console_of(stream);
    DWORD mode = 0;
    return console != nullptr && ::GetConsoleMode(console, &mode) &&
           ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0);
}

// A console shows characters, not bytes in a code page: UTF-8 text goes to it as UTF-16.
bool write_text(std::FILE* stream, std::string_view text) {
    const HANDLE console = console_of(stream);
    if (console == nullptr) {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    }
    std::fflush(stream);
    if (text.empty()) {
        return true;
    }
    // Bytes that are no UTF-8 show as U+FFFD. Out of memory (mapmaker says so through
    // here), the bytes go out as they are.
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring shown;
    try {
        shown.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    } catch (const std::bad_alloc&) {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    }
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), shown.data(),
                          size);
    DWORD written = 0;
    return ::WriteConsoleW(console, shown.data(), static_cast<DWORD>(shown.size()), &written,
                           nullptr) != 0;
}

std::string error_text(int error_number) {
    if (error_number < SYSTEM_ERROR_BASE) {
        return std::strerror(error_number);
    }
    const auto code = static_cast<DWORD>(error_number - SYSTEM_ERROR_BASE);
    wchar_t* words = nullptr;
    const DWORD size = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
    std::string text = size != 0 ? narrow({words, size}) : "system error " + std::to_string(code);
    ::LocalFree(words);
    // "The system cannot find the file specified.\r\n", as a message ends a clause.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

int create_new_file(const std::string& name) {
    return open_to_write(name, _O_EXCL);
}

void keep_mode_and_owner(int, const std::string&) {}

bool may_write(const std::string& path) {
    const std::optional<std::wstring> name = wide_path(path);
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

void fail_writes_beyond_size_limit() {}

bool sync_to_disk(int fd) {
    return ::_commit(fd) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = wide_path(from);
    const std::optional<std::wstring> target = wide_path(to);
    if (!source || !target) {
        errno = EINVAL;
        return false;
    }
    if (::MoveFileExW(source->c_str(), target->c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
    }
    errno = is_folder(*target) ? EISDIR : system_error(::GetLastError());
    return false;
}

bool remove_file(const std::string& path) {
    const std::optional<std::wstring> name = wide_path(path);
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

namespace {

// The words of the command line as the system splits it; none when it cannot.
std::optional<std::vector<std::wstring>> command_line_words() {
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (words == nullptr) {
        return std::nullopt;
    }
    std::vector<std::wstring> result(words, words + count);
    ::LocalFree(words);
    return result;
}

// The files a word with * or ? in its last part names, sorted, with the folder part as
// typed; the word itself when it matches nothing, as the C runtime's expansion keeps it.
void expand_into(std::vector<std::string>& arguments, const std::string& word) {
    const std::optional<std::wstring> pattern = wide_path(word);
    WIN32_FIND_DATAW found;
    const HANDLE search =
        pattern ? ::FindFirstFileW(pattern->c_str(), &found) : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) {
        arguments.push_back(word);
        return;
    }
    const std::size_t cut = word.find_last_of("/\\:");
    const std::string folder = cut == std::string::npos ? "" : word.substr(0, cut + 1);
    std::vector<std::string> names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(folder + narrow(name));
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        names.push_back(word);
    }
    arguments.insert(arguments.end(), names.begin(), names.end());
}

// Which words of a command line hold a quote, split by the rules CommandLineToArgvW
// follows: the C runtime expands no wildcard that was quoted.
std::vector<bool> quoted_words(std::wstring_view line) {
    std::vector<bool> quoted;
    std::size_t i = 0;
    // The program's name ends at the next space, or at the closing quote, without escapes.
    if (!line.empty() && line[0] == L'"') {
        const std::size_t end = line.find(L'"', 1);
        i = end == std::wstring_view::npos ? line.size() : end + 1;
    }
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t') {
        ++i;
    }
    quoted.push_back(!line.empty() && line[0] == L'"');
    for (;;) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) {
            ++i;
        }
        if (i >= line.size()) {
            return quoted;
        }
        bool in_quotes = false;
        bool any = false;
        while (i < line.size() && (in_quotes || (line[i] != L' ' && line[i] != L'\t'))) {
            if (line[i] == L'\\') {
                const std::size_t run = line.find_first_not_of(L'\\', i);
                const std::size_t count = (run == std::wstring_view::npos ? line.size() : run) - i;
                i += count;
                if (count % 2 == 1 && i < line.size() && line[i] == L'"') {
                    ++i; // an escaped quote is a character of the word
                }
            } else if (line[i] == L'"') {
                any = true;
                const bool doubled = in_quotes && i + 1 < line.size() && line[i + 1] == L'"';
                i += doubled ? 2 : 1;
                in_quotes = doubled || !in_quotes;
            } else {
                ++i;
            }
        }
        quoted.push_back(any);
    }
}

bool ascii_only(std::wstring_view word) {
    return std::all_of(word.begin(), word.end(), [](wchar_t c) { return c < 0x80; });
}

} // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    const std::optional<std::vector<std::wstring>> words = command_line_words();
    if (!words) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<bool> quoted = quoted_words(::GetCommandLineW());
    quoted.resize(words->size()); // should the two readings ever disagree
    std::vector<std::string> arguments;
    for (std::size_t i = 0; i < words->size(); ++i) {
        std::string word = narrow((*words)[i]);
        if (i > 0 && !quoted[i] && !word.starts_with('-') &&
            word.find_first_of("*?") != std::string::npos) {
            expand_into(arguments, word);
        } else {
            arguments.push_back(std::move(word));
        }
    }
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

char** utf8_argv(int argc, char** argv) {
    const std::optional<std::vector<std::wstring>> words = command_line_words();
    if (!words || words->size() != static_cast<std::size_t>(argc)) {
        return argv;
    }
    // Kept for the whole run, as argv is.
    static std::vector<std::string> texts;
    static std::vector<char*> vector;
    texts.reserve(words->size());
    for (int i = 0; i < argc; ++i) {
        texts.push_back(ascii_only((*words)[i]) ? std::string(argv[i]) : narrow((*words)[i]));
    }
    for (std::string& text : texts) {
        vector.push_back(text.data());
    }
    vector.push_back(nullptr);
    return vector.data();
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
    const std::optional<std::wstring> name = wide_path(path);
    // A pipe or a console has no identity to compare (GetFileInformationByHandle fails on
    // it), and is never a file a path names.
    if (!name || ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        return false;
    }
    const HANDLE handle = open_to_look(*name);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    // A device such as NUL is no file on a disk, and so never the open file.
    const bool device = ::GetFileType(handle) != FILE_TYPE_DISK;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    if (device) {
        return false;
    }
    const std::optional<file_id> open = identify(fd);
    return !known || !open ||
           *open == file_id{info.dwVolumeSerialNumber,
                            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}
