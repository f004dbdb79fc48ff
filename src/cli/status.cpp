#include "cli/status.h"

#include <cinttypes>

namespace {

void put(std::FILE* out, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out);
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

std::string_view failure_message(int code) {
    switch (code) {
    case STATUS_NO_MEMORY:
        return "Not enough memory";
    case STATUS_CANNOT_OPEN_SOURCE:
        return "Can't open source file";
    case STATUS_CANNOT_CREATE_MAP:
        return "Can't create map file";
    case STATUS_INVALID_DSC:
        return "Invalid DSC file";
    case STATUS_CANNOT_WRITE:
        return "Can't write to the file";
    case STATUS_READ_ERROR:
        return "Error reading file";
    case STATUS_TOO_MANY_ENTRIES:
        return "Too much entries.\nCodepage items quantity must not exceed 256.";
    default:
        return "";
    }
}

} // namespace

void write_status(std::FILE* out, int code, std::optional<status_detail> detail,
                  std::string_view program_name) {
    if (code == STATUS_USAGE) {
        write_usage(out, program_name);
    } else {
        put(out, failure_message(code));
    }
    if (detail) {
        put(out, ": ");
        put(out, detail->name);
        if (detail->line) {
            std::fprintf(out, " [line %" PRIu64 "]", *detail->line);
        }
    }
    put(out, "\n");
}

void report_status(int code, std::optional<status_detail> detail, std::string_view program_name) {
    write_status(stdout, code, detail, program_name);
}
