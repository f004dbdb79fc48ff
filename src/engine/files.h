// The files the verbs read and write: "-" is standard input or output, a written file
// replaces the old one as a whole or not at all.
#pragma once

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

// Opens a file for reading bytes as they are; "-" is standard input.
result<input_file> open_input(const std::string& path);

// The name a file goes by in messages: "<stdin>" for "-".
std::string display_name(const std::string& path);

// Whether path leads to the open file itself, by any name or link. A path that names
// nothing is no file yet.
bool is_the_file(std::FILE* file, const std::string& path);

// Writes a new file with `write` (false when a write failed) that then replaces the one
// at path; on failure the old file stays as it was.
result<void> replace_file_with(const std::string& path,
                               const std::function<bool(std::FILE*)>& write);

// Writes bytes to standard output when path is empty or "-", else replaces the file.
result<void> write_output(const std::string& path, std::string_view bytes);
