// The files the verbs read and write: "-" is standard input or output, a written file
// replaces the old one as a whole or not at all.
#pragma once

#include "engine/diagnostics.h"
#include "engine/result.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct input_closer {
    void operator()(std::FILE* file) const;
};
// An open input; standard input is not closed with it.
using input_file = std::unique_ptr<std::FILE, input_closer>;

// The system's words for the error number of a failed file operation. Memory running out
// is no fault of the file's: it throws std::bad_alloc, and the run ends as every other
// shortage does.
std::string system_reason(int error);

// Opens a file for reading bytes as they are; "-" is standard input.
result<input_file> open_input(const std::string& path);

// The input itself when it is a regular file, which can be rewound and read again; what
// is not (a pipe, a terminal, a device) copied into a scratch file first, read from its start.
result<input_file> rewindable(input_file file);

// The name a file goes by in messages: "<stdin>" for "-".
std::string display_name(const std::string& path);

// Whether path leads to the open file itself, by any name or link. A path that names
// nothing is no file yet.
bool is_the_file(std::FILE* file, const std::string& path);

// Whether two paths lead to one file, by any name or link, for a verb that writes to
// `output` what it reads from `input` before it has opened it. "-" and a path that names
// nothing are no file.
bool is_same_file(const std::string& input, const std::string& output);

// How a file was written: replaced as a whole, or written over in place because its folder
// takes no temporary file (see platform/atomic_file.h).
struct written_file {
    bool in_place = false;
};

// Writes a new file with `write` (false when a write failed) that then replaces the one
// at path; on failure the old file stays as it was.
result<written_file> replace_file_with(const std::string& path,
                                       const std::function<bool(std::FILE*)>& write);

// Writes bytes to standard output when path is empty or "-", else replaces the file.
result<written_file> write_output(const std::string& path, std::string_view bytes);

// Reports that the file at path was written in place, when it was.
void report_in_place(diagnostics& report, const std::string& path, const written_file& how);
