#include "mapmaker/status.h"

#include "platform/files.h"

#include <cinttypes>

namespace {

void put(std::FILE* out, std::string_view text) {
    write_text(out, text);
}

void write_usage(std::FILE* out, std::string_view program_name) {
    put(out, "Codepage map file creator for Lirvane v 0.1 (beta)\n"
             "Fill free to send comments to mapmaker@example.org\n"
             "\n"
             "Usage: ");
    put(out, program_name);
    put(out, " dsc-file [map-file]\n"
             "dsc-file format:\n"
             "'source codepage character 8bit code(hex)', 'UNICODE character 16bit code(hex)'\n"
             "DSC-file example:\n"
             "//cp866 -> UNICODE\n"
             "80, 0410 // Cyrillic capital letter A\n"
             "AD, 043D // Cyrillic small letter EN\n"
             "...\n");
}

std::string_view failure_message(status_code code) {
    switch (code) {
    case status_code::no_memory:
        return "Not enough memory";
    case status_code::cannot_open_source:
        return "Can't open source file";
    case status_code::cannot_create_map:
        return "Can't create map file";
    case status_code::invalid_dsc:
        return "Invalid DSC file";
    case status_code::cannot_write:
        return "Can't write to the file";
    case status_code::read_error:
        return "Error reading file";
    case status_code::too_many_entries:
        return "Too much entries.\nCodepage items quantity must not exceed 256.";
    default:
        return "";
    }
}

} // namespace

void write_status(std::FILE* out, status_code code, std::optional<status_detail> detail,
                  std::string_view program_name) {
    if (code == status_code::usage) {
        write_usage(out, program_name);
    } else {
        put(out, failure_message(code));
    }
    if (detail) {
        put(out, ": ");
        put(out, detail->name);
        if (detail->line) {
            char line[32];
            std::snprintf(line, sizeof line, " [line %" PRIu64 "]", *detail->line);
            put(out, line);
        }
    }
    put(out, "\n");
}

void report_status(status_code code, std::optional<status_detail> detail,
                   std::string_view program_name) {
    write_status(stdout, code, detail, program_name);
}
