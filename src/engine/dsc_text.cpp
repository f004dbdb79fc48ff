#include "engine/dsc_text.h"

#include "engine/visible.h"
#include "platform/files.h"
#include "table/dsc_pieces.h"

namespace {

// Text from the input as a line of a DSC file may carry it: no control character (an LF
// would start a line of its own, a Ctrl-Z would end the file, a NUL or CR the line), each
// shown as visible() shows it, and cut to `room` bytes between two characters, as
// mapmaker reads a longer line as two and the second one as a faulty entry.
std::string line_safe(std::string_view text, std::size_t room) {
    std::string clean = visible(text);
    if (clean.size() > room) {
        std::size_t end = room;
        while (end > 0 && (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) {
            --end; // not inside a UTF-8 sequence
        }
        clean.resize(end);
    }
    return clean;
}

// The bytes a line may hold before its LF.
constexpr std::size_t LINE_ROOM = LINE_PIECE_MAX - 1;

} // namespace

std::string hex_digits(std::uint32_t value, std::size_t digits) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint32_t rest = value; rest != 0 || text.size() < digits; rest >>= 4) {
        text.insert(text.begin(), DIGITS[rest & 0xF]);
    }
    return text;
}

std::string dsc_header(std::string_view name) {
    static constexpr std::string_view END = " -> UNICODE\n";
    return "//" + line_safe(name, LINE_ROOM - 2 - (END.size() - 1)) + std::string(END);
}

std::string dsc_comment(std::string_view text) {
    return "// " + line_safe(text, LINE_ROOM - 3) + '\n';
}

std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name) {
    std::string line = hex_digits(byte, 2) + ", " + hex_digits(code, 4);
    if (!name.empty()) {
        line += " // ";
        line += line_safe(name, LINE_ROOM - line.size());
    }
    return line + '\n';
}

std::string table_name_of(const std::string& path) {
    return path == "-" ? "stdin" : utf8_from_path(path_from_utf8(path).stem());
}
