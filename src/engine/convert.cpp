#include "engine/convert.h"

#include "engine/files.h"
#include "platform/files.h"
#include "unicode/names.h"
#include "unicode/transliteration.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

static_assert(sizeof(code_page::utf8_char) == 4, "a decoded byte is copied as one 4-byte word");

namespace {

bool is_surrogate(std::uint32_t code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// Moves a place on over bytes that were converted: lines at each LF, columns in
// characters, which are bytes unless the input is UTF-8.
void advance(stopped_at& place, const unsigned char* data, std::size_t size, bool utf8) {
    const auto characters = [utf8](const unsigned char* from, const unsigned char* to) {
        return utf8 ? static_cast<std::uint64_t>(std::count_if(
                          from, to, [](unsigned char b) { return (b & 0xC0) != 0x80; }))
                    : static_cast<std::uint64_t>(to - from);
    };
    const unsigned char* end = data + size;
    const auto last_lf =
        std::find(std::make_reverse_iterator(end), std::make_reverse_iterator(data), '\n');
    if (last_lf.base() == data) {
        place.column += characters(data, end);
    } else {
        place.line += static_cast<std::uint64_t>(std::count(data, end, '\n'));
        place.column = 1 + characters(last_lf.base(), end);
    }
    place.offset += size;
}

// What a recoded byte becomes: the target's bytes, or why it has none.
struct recoded_byte {
    std::string bytes;
    std::string fault; // empty: converted
};

// One run of a conversion: its tables, and the renderings found so far, each looked up
// once however often its character comes.
struct conversion {
    const code_page& page; // decoding: the source; encoding: the target
    const convert_settings& settings;
    std::array<recoded_byte, 256> recoded{};
    std::unordered_map<std::uint32_t, std::string> renderings{};
};

// Each block function converts in[0, size) to `to`, moving it on, and returns how many
// bytes it used: all of them, or fewer when it stopped (and said why) or when the last
// character continues in the next block.
using block_function = std::size_t (*)(conversion&, const unsigned char*, std::size_t, bool, char*&,
                                       std::string&);

std::string byte_not_in_table(std::uint32_t byte) {
    return "byte " + hex(byte, 2) + " is not in the table";
}

std::string not_in_table(std::uint32_t code, const char* table) {
    const std::string name = char_name(code);
    return "U+" + hex(code, 4) + (name.empty() ? "" : " " + name) + " is not in the " + table;
}

std::size_t decode_block(conversion& run, const unsigned char* in, std::size_t size, bool,
                         char*& to, std::string& why) {
    const code_page& page = run.page;
    const convert_settings& settings = run.settings;
    for (std::size_t i = 0; i < size; ++i) {
        const code_page::utf8_char& decoded = page.decoded[in[i]];
        if (decoded.size != 0) {
            // The whole entry at once, then on by its length: no branch on the length.
            std::memcpy(to, &decoded, sizeof decoded);
            to += decoded.size;
        } else if (settings.action == unmappable::replace) {
            to = std::copy(settings.replacement.begin(), settings.replacement.end(), to);
        } else if (settings.action == unmappable::stop) {
            why = byte_not_in_table(in[i]);
            return i;
        }
    }
    return size;
}

// The code of a complete sequence of `length` bytes, or none when it is no UTF-8: a byte
// that is no continuation, an overlong form, a surrogate, or beyond 10FFFF.
std::optional<std::uint32_t> sequence_code(const unsigned char* at, std::size_t length) {
    std::uint32_t code = at[0] & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((at[k] & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = code << 6 | (at[k] & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || is_surrogate(code)) {
        return std::nullopt;
    }
    return code;
}

std::size_t recode_block(conversion& run, const unsigned char* in, std::size_t size, bool,
                         char*& to, std::string& why) {
    for (std::size_t i = 0; i < size; ++i) {
        const recoded_byte& recoded = run.recoded[in[i]];
        if (recoded.fault.empty()) {
            to = std::copy(recoded.bytes.begin(), recoded.bytes.end(), to);
        } else if (run.settings.action == unmappable::replace) {
            to = std::copy(run.settings.replacement.begin(), run.settings.replacement.end(), to);
        } else if (run.settings.action == unmappable::stop) {
            why = recoded.fault;
            return i;
        }
    }
    return size;
}

// The close rendering of a character the target lacks, looked up once per run.
const std::string& rendering_of(conversion& run, std::uint32_t code) {
    const auto [known, added] = run.renderings.try_emplace(code);
    if (added) {
        known->second = rendering_in(run.page, code);
    }
    return known->second;
}

std::size_t encode_block(conversion& run, const unsigned char* in, std::size_t size, bool last,
                         char*& to, std::string& why) {
    const code_page& page = run.page;
    const convert_settings& settings = run.settings;
    std::size_t i = 0;
    while (i < size) {
        std::uint32_t code = in[i];
        std::size_t length = 1;
        if (code >= 0x80) {
            length = utf8_sequence_length(in[i]);
            if (length != 0 && i + length > size && !last) {
                return i; // the rest of the character is in the next block
            }
            const std::optional<std::uint32_t> valid =
                length == 0 || i + length > size ? std::nullopt : sequence_code(in + i, length);
            if (!valid) {
                why = length != 0 && i + length > size
                          ? "incomplete UTF-8 character at the end of the input"
                          : "invalid UTF-8 from byte " + hex(in[i], 2);
                return i;
            }
            code = *valid;
        }
        const std::int16_t byte = code <= 0xFFFF ? page.encoded[code] : -1;
        const std::string* rendering =
            byte < 0 && settings.translit ? &rendering_of(run, code) : nullptr;
        if (byte >= 0) {
            *to++ = static_cast<char>(byte);
        } else if (rendering != nullptr && !rendering->empty()) {
            to = std::copy(rendering->begin(), rendering->end(), to);
        } else if (settings.action == unmappable::replace) {
            to = std::copy(settings.replacement.begin(), settings.replacement.end(), to);
        } else if (settings.action == unmappable::stop) {
            why = not_in_table(code, "table");
            return i;
        }
        i += length;
    }
    return size;
}

} // namespace

std::size_t utf8_sequence_length(unsigned char first) {
    return first < 0x80   ? 1
           : first < 0xC2 ? 0
           : first < 0xE0 ? 2
           : first < 0xF0 ? 3
           : first < 0xF5 ? 4
                          : 0;
}

code_page make_code_page(const code_table& table, bool ascii) {
    code_page page;
    std::array<bool, 256> listed{};
    for (std::size_t i = 0; i < table.count; ++i) {
        const map_record& record = table.records[i];
        const std::uint8_t byte = record[0];
        const std::uint16_t code = code_of(record);
        const bool first_of_byte = !listed[byte];
        listed[byte] = true;
        if (is_surrogate(code)) {
            continue;
        }
        if (first_of_byte) {
            const std::string text = utf8_of(code);
            std::copy(text.begin(), text.end(), page.decoded[byte].bytes.begin());
            page.decoded[byte].size = static_cast<std::uint8_t>(text.size());
        }
        if (page.encoded[code] < 0) {
            page.encoded[code] = byte;
        }
    }
    for (std::uint8_t byte = 0; ascii && byte < 0x80; ++byte) {
        if (!listed[byte]) {
            page.decoded[byte] = {{static_cast<char>(byte)}, 1};
            if (page.encoded[byte] < 0) {
                page.encoded[byte] = byte;
            }
        }
    }
    return page;
}

std::optional<std::uint32_t> single_character(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t length = text.empty() ? 0 : utf8_sequence_length(bytes[0]);
    if (length == 0 || length != text.size()) {
        return std::nullopt;
    }
    return length == 1 ? std::optional<std::uint32_t>(bytes[0]) : sequence_code(bytes, length);
}

namespace {

result<std::optional<stopped_at>> run_blocks(conversion& run, std::FILE* in, const byte_sink& out) {
    const convert_settings& settings = run.settings;
    const block_function convert_block = settings.way == direction::decode   ? decode_block
                                         : settings.way == direction::encode ? encode_block
                                                                             : recode_block;
    const std::size_t block = std::max<std::size_t>(settings.block_size, 1);
    // Up to 3 bytes of a character carried from the block before, then a block. Each byte
    // gives at most 4 bytes, and the last character copied may write 1 byte beyond; a
    // rendering gives at most max_rendering for a character of two bytes or more, and a
    // recoded byte as much.
    std::vector<unsigned char> input(3 + block);
    const bool rendered = settings.translit || settings.way == direction::recode;
    std::vector<char> output((rendered ? max_rendering : 4) * input.size() + 1);
    stopped_at place;
    std::size_t kept = 0;
    for (;;) {
        const std::size_t got = std::fread(input.data() + kept, 1, block, in);
        if (std::ferror(in) != 0) {
            return failure{"cannot read: " + system_reason(errno)};
        }
        const bool last = got < block;
        const std::size_t size = kept + got;
        char* to = output.data();
        std::string why;
        const std::size_t used = convert_block(run, input.data(), size, last, to, why);
        if (!out({output.data(), static_cast<std::size_t>(to - output.data())})) {
            return failure::reported();
        }
        advance(place, input.data(), used, settings.way == direction::encode);
        if (!why.empty()) {
            place.what = why;
            return std::optional<stopped_at>(place);
        }
        if (last) {
            return std::optional<stopped_at>();
        }
        kept = size - used;
        std::memmove(input.data(), input.data() + used, kept);
    }
}

} // namespace

std::string rendering_in(const code_page& page, std::uint32_t code) {
    for (const std::u32string& rendering : close_renderings(code)) {
        std::string bytes;
        for (const char32_t point : rendering) {
            const std::int16_t byte = point <= 0xFFFF ? page.encoded[point] : -1;
            if (byte < 0) {
                bytes.clear();
                break;
            }
            bytes += static_cast<char>(byte);
        }
        if (!bytes.empty() && bytes.size() <= max_rendering) {
            return bytes;
        }
    }
    return {};
}

result<std::optional<stopped_at>> convert_stream(const code_page& page,
                                                 const convert_settings& settings, std::FILE* in,
                                                 const byte_sink& out) {
    conversion run{page, settings};
    return run_blocks(run, in, out);
}

result<std::optional<stopped_at>> recode_stream(const code_page& from, const code_page& to,
                                                const convert_settings& settings, std::FILE* in,
                                                const byte_sink& out) {
    conversion run{to, settings};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const code_page::utf8_char& decoded = from.decoded[byte];
        recoded_byte& recoded = run.recoded[byte];
        const std::optional<std::uint32_t> code =
            single_character(std::string_view(decoded.bytes.data(), decoded.size));
        const std::int16_t target = code && *code <= 0xFFFF ? to.encoded[*code] : -1;
        if (!code) {
            recoded.fault = byte_not_in_table(static_cast<std::uint32_t>(byte));
            continue;
        }
        recoded.bytes = target >= 0         ? std::string(1, static_cast<char>(target))
                        : settings.translit ? rendering_in(to, *code)
                                            : std::string();
        if (recoded.bytes.empty()) {
            recoded.fault = "byte " + hex(static_cast<std::uint32_t>(byte), 2) + ", " +
                            not_in_table(*code, "target table");
        }
    }
    return run_blocks(run, in, out);
}
