#include "engine/visible.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence that starts text, or 0 when it is not a valid one.
std::size_t utf8_length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0                 ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || (lead >= 0xE0 && lead > 0xF4) || text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
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
            if (bytes.substr(i, 3) == "\xEF\xBB\xBF") {
                piece = "<U+FEFF>"; // a byte order mark shows nothing of its own
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

std::string visible(std::string_view bytes) {
    return render(bytes, nullptr);
}

std::string visible(std::string_view bytes, std::vector<std::size_t>& columns) {
    return render(bytes, &columns);
}
