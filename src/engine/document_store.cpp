#include "engine/document_store.h"

#include <algorithm>

namespace {

// The bytes of the UTF-8 sequence a byte starts; 1 for a byte that starts none, so that
// any text can be walked.
std::size_t sequence_length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    return lead >= 0xC2 ? 2 : 1;
}

// The units of a character in the encoding: UTF-16 needs two for those beyond U+FFFF,
// which take four bytes in UTF-8.
std::uint64_t units_of(std::size_t length, position_encoding encoding) {
    if (encoding == position_encoding::utf8) {
        return length;
    }
    return length == 4 ? 2 : 1;
}

} // namespace

std::size_t text_locator::line_text_end(std::size_t start) const {
    return std::min(text_.find_first_of("\r\n", start), text_.size());
}

std::size_t text_locator::next_line(std::size_t start) const {
    const std::size_t end = text_.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
        return end;
    }
    return text_.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
}

std::size_t text_locator::offset(text_position at) {
    if (at.line < line_) {
        line_ = 0;
        line_start_ = 0;
    }
    for (; line_ < at.line; ++line_) {
        const std::size_t next = next_line(line_start_);
        if (next == std::string_view::npos) {
            return text_.size();
        }
        line_start_ = next;
    }
    const std::size_t end = line_text_end(line_start_);
    std::size_t offset = line_start_;
    for (std::uint64_t units = 0; offset < end;) {
        const std::size_t length =
            std::min(sequence_length(static_cast<unsigned char>(text_[offset])), end - offset);
        units += units_of(length, encoding_);
        if (units > at.character) {
            break;
        }
        offset += length;
    }
    return offset;
}

text_position text_locator::position(std::size_t offset) {
    offset = std::min(offset, text_.size());
    if (offset < line_start_) {
        line_ = 0;
        line_start_ = 0;
    }
    for (std::size_t next = next_line(line_start_); next <= offset; next = next_line(next)) {
        line_start_ = next;
        ++line_;
    }
    const std::size_t end = std::min(offset, line_text_end(line_start_));
    std::uint64_t units = 0;
    for (std::size_t at = line_start_; at < end;) {
        const std::size_t length = sequence_length(static_cast<unsigned char>(text_[at]));
        if (at + length > end) {
            break; // the offset lies within this character
        }
        units += units_of(length, encoding_);
        at += length;
    }
    return {line_, units};
}

std::size_t text_locator::checker_offset(std::uint64_t line, std::uint64_t column) {
    if (line < lf_line_) {
        lf_line_ = 1;
        lf_line_start_ = 0;
    }
    for (; lf_line_ < line; ++lf_line_) {
        const std::size_t lf = text_.find('\n', lf_line_start_);
        if (lf == std::string_view::npos) {
            return text_.size();
        }
        lf_line_start_ = lf + 1;
    }
    std::size_t end = std::min(text_.find('\n', lf_line_start_), text_.size());
    if (end < text_.size() && end > lf_line_start_ && text_[end - 1] == '\r') {
        --end; // the CR of a CR LF belongs to the line end
    }
    return std::min<std::size_t>(lf_line_start_ + (column == 0 ? 0 : column - 1), end);
}

void document_store::open(const std::string& uri, std::string text, std::int64_t version) {
    document& opened = documents_[uri];
    opened.text = std::move(text);
    opened.version = version;
}

bool document_store::close(const std::string& uri) {
    return documents_.erase(uri) != 0;
}

document* document_store::find(const std::string& uri) {
    const auto found = documents_.find(uri);
    return found == documents_.end() ? nullptr : &found->second;
}

void apply_edit(std::string& text, const text_range& range, std::string_view replacement,
                position_encoding encoding) {
    text_locator locate(text, encoding);
    const std::size_t start = locate.offset(range.start);
    const std::size_t end = std::max(start, locate.offset(range.end));
    text.replace(start, end - start, replacement);
}
