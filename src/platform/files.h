// Files and standard streams, the same on every system: paths are UTF-8, descriptors and
// streams are the C runtime's. The one place that knows how each system does it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

// Opens a file by its UTF-8 path with a mode of fopen; nullptr with errno set on failure.
std::FILE* open_file(const std::string& path, const char* mode);

// Opens or creates a file for writing bytes as they are, without emptying it and without
// handing it to child processes; a descriptor, or -1 with errno set.
int open_for_writing(const std::string& path);

// Whether the descriptor is open on a regular file (not a device, pipe or folder).
bool is_regular_file(int fd);

// Whether a path names one of Windows' devices (NUL, CON, COM1, also with an extension),
// which std::filesystem does not see as files; false elsewhere, where a file's status
// tells a device.
bool names_a_device(const std::string& path);

// Empties the file open for writing on fd; false with errno set on failure.
bool truncate_file(int fd);

// The descriptor of a stream.
int descriptor_of(std::FILE* stream);

// A stream on a descriptor of its own that reads the same file as the stream does; -1
// with errno set on failure.
int duplicate_descriptor(std::FILE* stream);

// Closes a descriptor that no stream owns.
void close_descriptor(int fd);

// Puts a stream into binary mode where the system tells text from binary.
void set_binary(std::FILE* stream);

// Whether a stream is a terminal that can show colour: on Windows a console whose virtual
// terminal mode is (or could be turned) on.
bool is_terminal(std::FILE* stream);

// Writes UTF-8 text: to a Windows console as the characters it holds, elsewhere as bytes.
bool write_text(std::FILE* stream, std::string_view text);

// The system's words for an error number, as strerror gives them.
std::string error_text(int error_number);

// Creates a new file by its UTF-8 name for writing bytes as they are, failing when there is
// one (EEXIST), with the mode a new file gets under the umask; a descriptor, or -1 with
// errno set.
int create_new_file(const std::string& name);

// Gives the new file open on fd the permissions of the file at path (and its owner and
// group, as far as the user may give them), so that replacing a file keeps them. On
// Windows a file's permissions are not its own but its folder's: nothing to do.
void keep_mode_and_owner(int fd, const std::string& path);

// Whether the user may write the existing file at path (not marked read-only for them).
bool may_write(const std::string& path);

// This process's id, and whether a process with the given id is running.
std::uint32_t process_id();
bool process_running(std::uint32_t id);

// Makes a write beyond the file size limit (ulimit -f) fail with EFBIG, which is reported
// and leaves no temporary file, rather than end the process without a word; Windows has
// no such limit.
void fail_writes_beyond_size_limit();

// Makes the written bytes of a descriptor durable on disk; false with errno set.
bool sync_to_disk(int fd);

// Renames `from` over `to`, replacing a file there; false with errno set.
bool replace_file(const std::string& from, const std::string& to);

// Removes a file; false with errno set.
bool remove_file(const std::string& path);

// An empty file opened "w+b" in a folder where the user may write, removed when closed.
std::FILE* temporary_stream();

// The program's arguments as UTF-8, the program's name first: on Windows from the wide
// command line, whatever the code page, with each word that holds * or ? (and is neither
// an option nor quoted) replaced by the files it matches, as Windows programs expand them
// themselves; elsewhere as they are (the shell has expanded them).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// The full path of the running program, in UTF-8; empty when the system does not say.
std::string program_path();
// The argument vector with every argument in UTF-8 and no wildcard expanded: on Windows,
// an argument in ASCII as the C runtime read it and any other from the wide command line;
// elsewhere argv itself, so that nothing is allocated.
char** utf8_argv(int argc, char** argv);

// A path from UTF-8 text, and back, the same on every system (std::filesystem takes a
// narrow string in the system's code page on Windows).
inline std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string utf8_from_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
