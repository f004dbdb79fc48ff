#include "engine/dsc_text.h"

#include "platform/files.h"
#include "table/dsc_pieces.h"

std::string hex_digits(std::uint32_t value, std::size_t digits) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint32_t rest = value; rest != 0 || text.size() < digits; rest >>= 4) {
        text.insert(text.begin(), DIGITS[rest & 0xF]);
    }
    return text;
}

std::string dsc_header(std::string_view name) {
    return "//" + std::string(name) + " -> UNICODE\n";
}

std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name) {
    std::string line = hex_digits(byte, 2) + ", " + hex_digits(code, 4);
    if (!name.empty()) {
        line += " // ";
        // mapmaker reads a longer line as two, the second one a fault: a name is cut to fit.
        // Control characters would end the line or hide the rest of it.
        for (const char c : name.substr(0, LINE_PIECE_MAX - 1 - line.size())) {
            line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return line + '\n';
}

std::string table_name_of(const std::string& path) {
    return path == "-" ? "stdin" : utf8_from_path(path_from_utf8(path).stem());
}
