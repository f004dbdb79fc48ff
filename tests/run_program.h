// Runs a built program as a user would: in a folder of its own, with an argument vector,
// bytes on standard input, and what it writes to standard output and error kept apart.
// No shell is involved, so the same call works on POSIX systems and on Windows.
#pragma once

#include "test_files.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

// Standard input is a file, which can be read twice, or a pipe, which cannot. A pipe's
// bytes are all written before the program starts, so they must fit its buffer.
enum class input_kind { file, pipe };

struct program_result {
    int status = -1; // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

#ifdef _WIN32

// An argument as the C runtime's command line parser gives it back: quoted when it holds
// a space, a tab or a quote, or is empty; backslashes are doubled only where a quote
// follows them, the closing one included.
inline std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + '"';
}

// Standard output and error are text there: the C runtime writes each LF as CR LF. Each
// pair is taken back to LF, so that the expected texts hold for both systems; an LF
// without its CR is marked, so that it fails the comparison.
inline std::string from_text_mode(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            continue;
        }
        text +=
            raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r') ? "<LF without CR>" : raw.substr(i, 1);
    }
    return text;
}

namespace run_program_detail {

struct handle_closer {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using unique_handle = std::unique_ptr<void, handle_closer>;

// A scratch file the child inherits as one of its standard handles; the system removes
// it when the last handle to it is closed. Parent and child share its file position.
inline unique_handle inheritable_scratch_file() {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (::GetTempPathA(sizeof folder, folder) == 0 ||
        ::GetTempFileNameA(folder, "run", 0, name) == 0) {
        throw std::runtime_error("cannot name a scratch file");
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE handle = ::CreateFileA(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open a scratch file");
    }
    return unique_handle(handle);
}

inline void seek_to_start(HANDLE file) {
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
}

inline std::string read_all(HANDLE file) {
    seek_to_start(file);
    std::string bytes;
    char buffer[4096];
    for (DWORD got = 0; ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0;) {
        bytes.append(buffer, got);
    }
    return bytes;
}

} // namespace run_program_detail

// Runs program in folder with the argument vector args, argv[0] included: the command
// line is made so that the program's C runtime parses exactly these arguments out of it.
// Output comes back as the bytes written: text in CR LF lines (see from_text_mode).
inline program_result run_program(const std::string& program, const std::filesystem::path& folder,
                                  const std::vector<std::string>& args,
                                  const std::string& input = "",
                                  input_kind kind = input_kind::file) {
    using namespace run_program_detail;
    std::string command_line;
    for (const std::string& arg : args) {
        if (!command_line.empty()) {
            command_line += ' ';
        }
        command_line += quoted(arg);
    }
    unique_handle in;
    unique_handle in_writer;
    if (kind == input_kind::pipe) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE read_end = nullptr;
        HANDLE write_end = nullptr;
        if (!::CreatePipe(&read_end, &write_end, &inheritable,
                          static_cast<DWORD>(input.size() + 4096))) {
            throw std::runtime_error("cannot make a pipe");
        }
        in.reset(read_end);
        in_writer.reset(write_end);
        ::SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
    } else {
        in = inheritable_scratch_file();
    }
    const unique_handle out = inheritable_scratch_file();
    const unique_handle err = inheritable_scratch_file();
    const HANDLE writer = kind == input_kind::pipe ? in_writer.get() : in.get();
    DWORD written = 0;
    if (!input.empty() &&
        (!::WriteFile(writer, input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
         written != input.size())) {
        throw std::runtime_error("cannot write standard input");
    }
    if (kind == input_kind::pipe) {
        in_writer.reset(); // the end of the input
    } else {
        seek_to_start(in.get());
    }
    // The arguments are UTF-8: names beyond any code page reach the program as typed.
    const auto wide = [](const std::string& text) {
        std::wstring result(text.size() + 1, L'\0');
        const int size =
            ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  result.data(), static_cast<int>(result.size()));
        result.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        return result;
    };
    std::wstring wide_command_line = wide(command_line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION child{};
    // Wine, starting many programs at once, now and then fails to start one that starts
    // the next time: a few more tries, so that a test is about the program, not Wine.
    bool started = false;
    DWORD start_error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) {
            ::Sleep(200);
        }
        started =
            ::CreateProcessW(wide(program).c_str(), wide_command_line.data(), nullptr, nullptr,
                             TRUE, 0, nullptr, folder.wstring().c_str(), &startup, &child) != 0;
        start_error = started ? 0 : ::GetLastError();
    }
    if (!started) {
        throw std::runtime_error("cannot start " + program + " (system error " +
                                 std::to_string(start_error) + ")");
    }
    ::CloseHandle(child.hThread);
    const unique_handle process(child.hProcess);
    DWORD exit_code = 0;
    ::WaitForSingleObject(process.get(), INFINITE);
    ::GetExitCodeProcess(process.get(), &exit_code);
    return {static_cast<int>(exit_code), read_all(out.get()), read_all(err.get())};
}

#else

// Output on POSIX systems is written as it is.
inline std::string from_text_mode(const std::string& raw) {
    return raw;
}

namespace run_program_detail {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

inline unique_file checked_scratch_file() {
    unique_file file(scratch_file());
    if (!file) {
        throw std::runtime_error("cannot open a scratch file");
    }
    return file;
}

} // namespace run_program_detail

// Runs program in folder with the argument vector args, argv[0] included; an empty vector
// starts it with no argument at all, not even its name.
inline program_result run_program(const std::string& program, const std::filesystem::path& folder,
                                  const std::vector<std::string>& args,
                                  const std::string& input = "",
                                  input_kind kind = input_kind::file) {
    using namespace run_program_detail;
    unique_file in;
    if (kind == input_kind::pipe) {
        int ends[2];
        if (::pipe(ends) != 0) {
            throw std::runtime_error("cannot make a pipe");
        }
        const bool written =
            ::write(ends[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
        ::close(ends[1]); // the end of the input
        in.reset(::fdopen(ends[0], "rb"));
        if (!written || !in) {
            throw std::runtime_error("cannot write standard input");
        }
    } else {
        in = checked_scratch_file();
        if (std::fwrite(input.data(), 1, input.size(), in.get()) != input.size() ||
            std::fflush(in.get()) != 0) {
            throw std::runtime_error("cannot write standard input");
        }
        std::rewind(in.get());
    }
    const unique_file out = checked_scratch_file();
    const unique_file err = checked_scratch_file();
    // Everything the child needs is made before the fork: after it, the child only makes
    // system calls.
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const std::string folder_name = folder.string();
    const int in_fd = fileno(in.get());
    const int out_fd = fileno(out.get());
    const int err_fd = fileno(err.get());
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        if (::dup2(in_fd, STDIN_FILENO) >= 0 && ::dup2(out_fd, STDOUT_FILENO) >= 0 &&
            ::dup2(err_fd, STDERR_FILENO) >= 0 && ::chdir(folder_name.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    return {WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, read_back(out.get()),
            read_back(err.get())};
}

#endif
