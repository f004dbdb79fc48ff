#include "maptool/lsp_protocol.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view LENGTH_HEADER = "content-length:";
// A body is read in steps, so that a length that promises more than comes costs no more
// memory than what came.
constexpr std::size_t STEP = std::size_t{1} << 20;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view text) {
    std::string low(text);
    std::transform(low.begin(), low.end(), low.begin(), [](char c) { return lower(c); });
    return low;
}

// The value of a Content-Length header: digits, spaces around them.
bool parse_length(std::string_view value, std::size_t& length) {
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t");
    if (first == std::string_view::npos) {
        return false;
    }
    value = value.substr(first, last - first + 1);
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    return error == std::errc() && end == value.data() + value.size();
}

} // namespace

// Passes the input over up to the next "Content-Length:" header, whose name is read;
// false when the input ends first.
bool frame_reader::skip_to_header() {
    std::size_t matched = 0;
    for (int c = in_.get(); c != std::char_traits<char>::eof(); c = in_.get()) {
        const char low = lower(static_cast<char>(c));
        matched = low == LENGTH_HEADER[matched] ? matched + 1 : (low == LENGTH_HEADER[0] ? 1 : 0);
        if (matched == LENGTH_HEADER.size()) {
            return true;
        }
    }
    return false;
}

void frame_reader::read(frame& into) {
    into.body.clear();
    into.problem.clear();
    bool any = false; // a header line was read
    bool have_length = false;
    bool bad_length = false;
    std::size_t length = 0;
    std::string line;
    while (true) {
        if (!std::getline(in_, line)) {
            into.status = any || !line.empty() ? frame_status::cut : frame_status::end;
            return;
        }
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        if (after_name_) {
            line.insert(0, LENGTH_HEADER);
            after_name_ = false;
        }
        if (line.empty()) {
            if (!any) {
                continue; // blank lines between messages
            }
            break;
        }
        any = true;
        if (lower(line.substr(0, LENGTH_HEADER.size())) == LENGTH_HEADER) {
            have_length = parse_length(std::string_view(line).substr(LENGTH_HEADER.size()), length);
            bad_length = !have_length;
        }
    }
    if (!have_length) {
        into.status = frame_status::bad_header;
        into.problem = bad_length ? "the Content-Length header is not a number"
                                  : "the header has no Content-Length";
        after_name_ = skip_to_header();
        return;
    }
    while (into.body.size() < length) {
        const std::size_t start = into.body.size();
        into.body.resize(start + std::min(STEP, length - start));
        in_.read(into.body.data() + start, static_cast<std::streamsize>(into.body.size() - start));
        if (static_cast<std::size_t>(in_.gcount()) != into.body.size() - start) {
            into.status = frame_status::cut;
            return;
        }
    }
    into.status = frame_status::message;
}

void write_frame(std::ostream& out, std::string_view body) {
    out << "Content-Length: " << body.size() << "\r\n\r\n";
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.flush();
}
