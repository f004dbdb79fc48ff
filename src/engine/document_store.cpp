#include "engine/document_store.h"

#include <algorithm>

namespace {

// How far apart the line starts that a walk notes lie: going back costs at most a walk
// over this many bytes.
constexpr std::size_t CHECKPOINT = std::size_t{1} << 20;

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

std::size_t text_locator::find(char byte, byte_search& last, std::size_t from) const {
    if (from < last.from || from > last.found) {
        last.from = from;
        last.found = text_.find(byte, from);
    }
    return last.found;
}

std::size_t text_locator::line_text_end(std::size_t from) const {
    return std::min({find('\r', cr_, from), find('\n', lf_, from), text_.size()});
}

text_locator::line_start text_locator::following() const {
    const std::size_t end = line_text_end(at_.offset);
    if (end == text_.size()) {
        return {std::string_view::npos};
    }
    const bool crlf = text_.substr(end, 2) == "\r\n";
    line_start next = at_;
    next.offset = end + (crlf ? 2 : 1);
    ++next.line;
    if (crlf || text_[end] == '\n') {
        ++next.lfs;
        next.checker_start = next.offset;
    }
    return next;
}

void text_locator::move_to(const line_start& next) {
    at_ = next;
    if (at_.offset >= (noted_.empty() ? 0 : noted_.back().offset) + CHECKPOINT) {
        noted_.push_back(at_);
    }
}

template <typename Fits> void text_locator::back_to(Fits fits) {
    const auto after = std::partition_point(noted_.begin(), noted_.end(), fits);
    at_ = after == noted_.begin() ? line_start{} : *(after - 1);
}

std::size_t text_locator::offset(text_position at) {
    if (at.line < at_.line) {
        back_to([&](const line_start& noted) { return noted.line <= at.line; });
    }
    while (at_.line < at.line) {
        const line_start next = following();
        if (next.offset == std::string_view::npos) {
            return text_.size();
        }
        move_to(next);
    }
    const std::size_t end = line_text_end(at_.offset);
    std::size_t offset = at_.offset;
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
    if (offset < at_.offset) {
        back_to([&](const line_start& noted) { return noted.offset <= offset; });
    }
    for (line_start next = following(); next.offset <= offset; next = following()) {
        move_to(next);
    }
    const std::size_t end = std::min(offset, line_text_end(at_.offset));
    std::uint64_t units = 0;
    for (std::size_t at = at_.offset; at < end;) {
        const std::size_t length = sequence_length(static_cast<unsigned char>(text_[at]));
        if (at + length > end) {
            break; // the offset lies within this character
        }
        units += units_of(length, encoding_);
        at += length;
    }
    return {at_.line, units};
}

std::size_t text_locator::checker_offset(std::uint64_t line, std::uint64_t column) {
    const std::uint64_t lfs = line == 0 ? 0 : line - 1; // the LFs before the line
    if (at_.lfs > lfs) {
        back_to([&](const line_start& noted) { return noted.lfs <= lfs; });
    }
    while (at_.lfs < lfs) {
        const line_start next = following();
        if (next.offset == std::string_view::npos) {
            return text_.size();
        }
        move_to(next);
    }
    // No LF lies between the line's start and the walk's line, so the line's LF is the
    // first one from the walk's line on.
    const std::size_t start = at_.checker_start;
    std::size_t end = std::min(find('\n', lf_, at_.offset), text_.size());
    if (end < text_.size() && end > start && text_[end - 1] == '\r') {
        --end; // the CR of a CR LF belongs to the line end
    }
    return std::min<std::size_t>(start + (column == 0 ? 0 : column - 1), end);
}

void document_store::open(const std::string& uri, std::string text, std::int64_t version) {
    document& opened = documents_[uri];
    opened.text = std::move(text);
    opened.version = version;
}

void document_store::close(const std::string& uri) {
    documents_.erase(uri);
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
