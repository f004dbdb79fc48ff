// Status codes: the one failure signal of a run, and its exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

// The exit status of a run; each failure has its own.
enum class status_code : int {
    ok = 0,
    usage = 1,
    no_memory = 2,
    cannot_open_source = 3,
    cannot_create_map = 4,
    invalid_dsc = 5,
    cannot_write = 6,
    read_error = 7,
    too_many_entries = 8,
};

// A failing step throws its status code; the one handler in main catches it.
struct status_error {
    status_code code;
};

[[noreturn]] inline void raise_status(status_code code) {
    throw status_error{code};
}

// What a message names after ": ": a file name, and for an invalid DSC file the line.
struct status_detail {
    std::string_view name;
    std::optional<std::uint64_t> line;
};

// Writes the message for a code (the usage text for status_code::usage), then ": " and the
// detail, if any, and a line end. Allocates nothing, so that it still works when memory
// has run out.
void write_status(std::FILE* out, status_code code, std::optional<status_detail> detail,
                  std::string_view program_name);

// write_status on standard output.
void report_status(status_code code, std::optional<status_detail> detail,
                   std::string_view program_name);
