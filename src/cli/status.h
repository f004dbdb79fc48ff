// Status codes: the one failure signal of a run, and its exit status.
#pragma once

#include <optional>
#include <string>
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

// The whole text that report_status prints for a code: its message (the usage text for
// STATUS_USAGE), then ": " and the detail, or nothing, and a line end.
std::string status_text(int code, std::optional<std::string_view> detail,
                        std::string_view program_name);

// Prints status_text on standard output.
void report_status(int code, std::optional<std::string_view> detail, std::string_view program_name);
