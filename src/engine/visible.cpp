#include "engine/visible.h"

#include <cstdint>
#include <cstdio>

namespace {

// The code point of a sequence of 1 to 4 bytes.
std::uint32_t code_point(std::string_view sequence) {
    static constexpr unsigned char LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t code = static_cast<unsigned char>(sequence[0]) & LEAD_BITS[sequence.size()];
    for (const char c : sequence.substr(1)) {
        code = code << 6 | (static_cast<unsigned char>(c) & 0x3F);
    }
    return code;
}

// The length of the UTF-8 sequence that starts text, or 0 when it is not a valid one: an
// overlong form, a surrogate or a code beyond U+10FFFF is none (a terminal may still act
// on an overlong form of a control).
std::size_t utf8_length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const std::uint32_t code = code_point(text.substr(0, length));
    const bool valid = length == 2 ||
                       (length == 3 && code >= 0x800 && (code < 0xD800 || code > 0xDFFF)) ||
                       (length == 4 && code >= 0x10000 && code <= 0x10FFFF);
    return valid ? length : 0;
}

// Characters a terminal acts on or that change how the text around them is shown: the C1
// controls (an 8-bit CSI starts an escape sequence), the bidirectional embeddings,
// overrides and isolates (they reorder the rest of the line, file name and message alike),
// the line and paragraph separators, and a byte order mark, which shows nothing.
bool hidden_character(std::uint32_t code) {
    return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029 || code == 0xFEFF;
}

std::string render(std::string_view bytes, std::vector<std::size_t>* columns) {
    std::string shown;
    std::size_t width = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 1;
        std::string piece;
        std::size_t piece_width = 0;
        if (byte >= 0x20 && byte < 0x7F) {
            piece.assign(1, static_cast<char>(byte));
            piece_width = 1;
        } else if (const std::size_t sequence = byte >= 0x80 ? utf8_length(bytes.substr(i)) : 0) {
            length = sequence;
            if (const std::uint32_t code = code_point(bytes.substr(i, length));
                hidden_character(code)) {
                char name[16];
                std::snprintf(name, sizeof name, "<U+%04X>", static_cast<unsigned>(code));
                piece = name;
                piece_width = piece.size();
            } else {
                piece.assign(bytes.substr(i, length));
                piece_width = 1;
            }
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", byte);
            piece = hex;
            piece_width = piece.size();
        }
        for (std::size_t k = 0; k < length && columns != nullptr; ++k) {
            columns->push_back(width);
        }
        shown += piece;
        width += piece_width;
        i += length;
    }
    if (columns != nullptr) {
        columns->push_back(width);
    }
    return shown;
}

} // namespace

bool valid_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length =
            static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : utf8_length(bytes.substr(i));
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string visible(std::string_view bytes) {
    return render(bytes, nullptr);
}

std::string visible(std::string_view bytes, std::vector<std::size_t>& columns) {
    return render(bytes, &columns);
}
