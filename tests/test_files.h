// Scratch files for tests: a fresh temporary folder, removed with everything in it, and
// an anonymous file.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

class temp_dir {
  public:
    // Named with hexadecimal digits only after "mapmaker_": no help trigger character and
    // no dot, so that a test may hand the tool a full path into the folder.
    temp_dir() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "mapmaker_%08x", static_cast<unsigned>(random()));
            if (std::filesystem::create_directory(base / name)) {
                path_ = base / name;
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary folder");
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A path from UTF-8 text (a narrow string is in the system's code page on Windows).
inline std::filesystem::path utf8_path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8_from(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// count data lines "XX, XXXX": bytes from 00 on, codes from first_code on.
inline std::string data_lines(int count, int first_code = 0x0400) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%02X, %04X\n", i & 0xFF, (first_code + i) & 0xFFFF);
        text += line;
    }
    return text;
}

// Makes the folders on the way: on Windows a backslash in a name is one.
inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An empty file opened "w+b", removed when closed. Windows' tmpfile() makes it in the
// root folder of the current drive, where a user may not write, so there it goes in the
// user's temporary folder. No <windows.h> here: its macros (status_code::no_memory among them)
// would replace the project's names in every test that includes this file.
inline std::FILE* scratch_file() {
#ifdef _WIN32
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "mapmaker_%08x.tmp", static_cast<unsigned>(random()));
        const int fd =
            ::_open((folder / name).string().c_str(),
                    _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            return ::_fdopen(fd, "w+b");
        }
    }
    return nullptr;
#else
    return std::tmpfile();
#endif
}

// Everything in a scratch file, read from its start.
inline std::string read_back(std::FILE* file) {
    std::rewind(file);
    std::string bytes;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, got);
    }
    return bytes;
}

#if defined(__GLIBC__)
// A stream that hands out its bytes, then fails every read with EIO: a file whose reading
// fails partway through, made with glibc's fopencookie.
struct failing_source {
    std::string bytes;
    std::size_t at = 0;
};

inline ssize_t read_then_fail(void* cookie, char* buffer, std::size_t size) {
    auto& source = *static_cast<failing_source*>(cookie);
    if (source.at == source.bytes.size()) {
        errno = EIO;
        return -1;
    }
    const std::size_t got = std::min(size, source.bytes.size() - source.at);
    std::memcpy(buffer, source.bytes.data() + source.at, got);
    source.at += got;
    return static_cast<ssize_t>(got);
}

inline std::unique_ptr<std::FILE, int (*)(std::FILE*)> failing_stream(failing_source& source) {
    return {::fopencookie(&source, "rb", {read_then_fail, nullptr, nullptr, nullptr}), std::fclose};
}
#endif
