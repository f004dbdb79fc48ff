// Status codes: the one failure signal of a run, and its exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

constexpr int STATUS_OK = 0;
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_NO_MEMORY = 2;
constexpr int STATUS_CANNOT_OPEN_SOURCE = 3;
constexpr int STATUS_CANNOT_CREATE_MAP = 4;
constexpr int STATUS_INVALID_DSC = 5;
constexpr int STATUS_CANNOT_WRITE = 6;
constexpr int STATUS_READ_ERROR = 7;
constexpr int STATUS_TOO_MANY_ENTRIES = 8;

// A failing step throws its status code; the one handler in main catches it.
struct status_error {
    int code;
};

[[noreturn]] inline void raise_status(int code) {
    throw status_error{code};
}

// What a message names after ": ": a file name, and for an invalid DSC file the line.
struct status_detail {
    std::string_view name;
    std::optional<std::uint64_t> line;
};

// Writes the message for a code (the usage text for STATUS_USAGE), then ": " and the
// detail, if any, and a line end. Allocates nothing, so that it still works when memory
// has run out.
void write_status(std::FILE* out, int code, std::optional<status_detail> detail,
                  std::string_view program_name);

// write_status on standard output.
void report_status(int code, std::optional<status_detail> detail, std::string_view program_name);
