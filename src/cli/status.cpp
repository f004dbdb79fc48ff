#include "cli/status.h"

#include <cstdio>

namespace {

std::string usage_text(std::string_view program_name) {
    std::string text = "Codepage map file creator for Lirvane v 0.1 (beta)\n"
                       "Fill free to send comments to mapmaker@example.org\n"
                       "\n"
                       "Usage: ";
    text += program_name;
    text += " dsc-file [map-file]\n"
            "dsc-file format:\n"
            "'source codepage character 8bit code(hex)', 'UNICODE character 16bit code(hex)'\n"
            "DSC-file example:\n"
            "//cp866 -> UNICODE\n"
            "80, 0410 // Cyrillic capital letter A\n"
            "AD, 043D // Cyrillic small letter EN\n"
            "...\n";
    return text;
}

const char* failure_message(int code) {
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

std::string status_text(int code, std::optional<std::string_view> detail,
                        std::string_view program_name) {
    std::string text = code == STATUS_USAGE ? usage_text(program_name) : failure_message(code);
    if (detail) {
        text += ": ";
        text += *detail;
    }
    text += '\n';
    return text;
}

void report_status(int code, std::optional<std::string_view> detail,
                   std::string_view program_name) {
    const std::string text = status_text(code, detail, program_name);
    std::fwrite(text.data(), 1, text.size(), stdout);
}
