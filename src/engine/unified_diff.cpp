#include "engine/unified_diff.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using lines = std::vector<std::string_view>;

// Each line with its line end, if it has one.
lines split_lines(std::string_view text) {
    lines out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        out.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

// A run of lines [a_begin, a_end) of the first text replaced by [b_begin, b_end) of the
// second.
struct change {
    std::size_t a_begin, a_end, b_begin, b_end;
};

// Past this many edits, the shortest edit script costs more memory than it is worth: the
// rest is shown as one replaced block, still a correct diff.
constexpr std::size_t max_edits = 2048;

// The changes between a[a_begin, a_end) and b[b_begin, b_end), whose first and last lines
// differ, by Myers' O(ND) algorithm, or one block when the edits would exceed max_edits.
void myers(const lines& a, const lines& b, change range, std::vector<change>& out) {
    const auto n = static_cast<std::ptrdiff_t>(range.a_end - range.a_begin);
    const auto m = static_cast<std::ptrdiff_t>(range.b_end - range.b_begin);
    const std::ptrdiff_t offset = std::min(n + m, static_cast<std::ptrdiff_t>(max_edits)) + 1;
    std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * offset + 1), 0);
    std::vector<std::vector<std::ptrdiff_t>> trace;
    const auto same = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
        return a[range.a_begin + static_cast<std::size_t>(x)] ==
               b[range.b_begin + static_cast<std::size_t>(y)];
    };
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t d = 0; d <= n + m && found < 0; ++d) {
        if (static_cast<std::size_t>(d) > max_edits) {
            out.push_back(range);
            return;
        }
        trace.emplace_back(v.begin() + offset - d, v.begin() + offset + d + 1);
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                                   ? v[offset + k + 1]
                                   : v[offset + k - 1] + 1;
            std::ptrdiff_t y = x - k;
            while (x < n && y < m && same(x, y)) {
                ++x;
                ++y;
            }
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
    }
    // Walk back from the end, collecting the edits as runs of changed lines.
    std::vector<change> reversed;
    std::ptrdiff_t x = n;
    std::ptrdiff_t y = m;
    const auto add = [&](std::ptrdiff_t ax, std::ptrdiff_t ay, std::ptrdiff_t bx,
                         std::ptrdiff_t by) {
        const change edit{range.a_begin + static_cast<std::size_t>(ax),
                          range.a_begin + static_cast<std::size_t>(bx),
                          range.b_begin + static_cast<std::size_t>(ay),
                          range.b_begin + static_cast<std::size_t>(by)};
        if (!reversed.empty() && reversed.back().a_begin == edit.a_end &&
            reversed.back().b_begin == edit.b_end) {
            reversed.back().a_begin = edit.a_begin;
            reversed.back().b_begin = edit.b_begin;
        } else {
            reversed.push_back(edit);
        }
    };
    for (std::ptrdiff_t d = found; d > 0; --d) {
        const std::vector<std::ptrdiff_t>& before = trace[static_cast<std::size_t>(d)];
        const auto at = [&](std::ptrdiff_t k) { return before[static_cast<std::size_t>(k + d)]; };
        const std::ptrdiff_t k = x - y;
        const std::ptrdiff_t previous_k =
            (k == -d || (k != d && at(k - 1) < at(k + 1))) ? k + 1 : k - 1;
        const std::ptrdiff_t previous_x = at(previous_k);
        const std::ptrdiff_t previous_y = previous_x - previous_k;
        while (x > previous_x && y > previous_y) {
            --x;
            --y;
        }
        add(previous_x, previous_y, x, y);
        x = previous_x;
        y = previous_y;
    }
    out.insert(out.end(), reversed.rbegin(), reversed.rend());
}

// The changes between the two texts. Lines equal in number are compared pairwise (a
// formatter and a fixer never add or remove a line, and a pairwise diff of them is exact and
// linear); otherwise the shortest edit script, after the common head and tail.
std::vector<change> changes(const lines& a, const lines& b) {
    std::vector<change> out;
    if (a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] == b[i]) {
                continue;
            }
            if (!out.empty() && out.back().a_end == i) {
                ++out.back().a_end;
                ++out.back().b_end;
            } else {
                out.push_back({i, i + 1, i, i + 1});
            }
        }
        return out;
    }
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) {
        ++head;
    }
    std::size_t a_end = a.size();
    std::size_t b_end = b.size();
    while (a_end > head && b_end > head && a[a_end - 1] == b[b_end - 1]) {
        --a_end;
        --b_end;
    }
    myers(a, b, {head, a_end, head, b_end}, out);
    return out;
}

// "a,b" of a hunk's header; as diff writes it, ",1" is left out and an empty side names the
// line before it.
std::string hunk_range(std::size_t begin, std::size_t count) {
    if (count == 1) {
        return std::to_string(begin + 1);
    }
    return std::to_string(count == 0 ? begin : begin + 1) + ',' + std::to_string(count);
}

void write_line(const text_sink& out, char mark, std::string_view line) {
    out(std::string_view(&mark, 1));
    out(line);
    if (line.empty() || line.back() != '\n') {
        out("\n\\ No newline at end of file\n");
    }
}

} // namespace

bool unified_diff(std::string_view before_label, std::string_view before,
                  std::string_view after_label, std::string_view after, const text_sink& out,
                  std::size_t context) {
    const lines a = split_lines(before);
    const lines b = split_lines(after);
    const std::vector<change> edits = changes(a, b);
    if (edits.empty()) {
        return false;
    }
    out("--- ");
    out(before_label);
    out("\n+++ ");
    out(after_label);
    out("\n");
    for (std::size_t first = 0; first < edits.size();) {
        // A hunk takes every change whose context touches the next one's.
        std::size_t last = first;
        while (last + 1 < edits.size() &&
               edits[last + 1].a_begin - edits[last].a_end <= 2 * context) {
            ++last;
        }
        const std::size_t a_begin = edits[first].a_begin - std::min(context, edits[first].a_begin);
        const std::size_t b_begin = edits[first].b_begin - (edits[first].a_begin - a_begin);
        const std::size_t a_end = std::min(a.size(), edits[last].a_end + context);
        const std::size_t b_end = edits[last].b_end + (a_end - edits[last].a_end);
        out("@@ -" + hunk_range(a_begin, a_end - a_begin) + " +" +
            hunk_range(b_begin, b_end - b_begin) + " @@\n");
        std::size_t at = a_begin;
        for (std::size_t i = first; i <= last; ++i) {
            for (; at < edits[i].a_begin; ++at) {
                write_line(out, ' ', a[at]);
            }
            for (std::size_t j = edits[i].a_begin; j < edits[i].a_end; ++j) {
                write_line(out, '-', a[j]);
            }
            for (std::size_t j = edits[i].b_begin; j < edits[i].b_end; ++j) {
                write_line(out, '+', b[j]);
            }
            at = edits[i].a_end;
        }
        for (; at < a_end; ++at) {
            write_line(out, ' ', a[at]);
        }
        first = last + 1;
    }
    return true;
}
