#include "engine/fixes.h"

#include "engine/dsc_check.h"
#include "table/dsc_reader.h"

#include <algorithm>

const fix* first_fix(const std::vector<finding>& found, fix_choice choice) {
    const fix* unsafe = nullptr;
    for (const finding& each : found) {
        for (const fix& option : each.fixes) {
            if (option.safe) {
                return &option;
            }
            if (unsafe == nullptr && choice == fix_choice::unsafe) {
                unsafe = &option;
            }
        }
    }
    return unsafe;
}

std::string applied(std::string_view line, const fix& edit) {
    std::vector<const replacement*> order;
    for (const replacement& each : edit.edits) {
        order.push_back(&each);
    }
    // From the right, so that an edit leaves the columns of those before it in place.
    std::sort(order.begin(), order.end(),
              [](const replacement* a, const replacement* b) { return a->column > b->column; });
    std::string text(line);
    for (const replacement* each : order) {
        const std::size_t from = std::min<std::size_t>(each->column - 1, text.size());
        text.replace(from, std::min(each->span, text.size() - from), each->text);
    }
    return text;
}

namespace {

constexpr std::size_t BATCH = std::size_t{1} << 16;

// The characters of a piece that count toward its length: all but the CR of a CR LF.
std::size_t piece_length(std::string_view piece) {
    return piece.size() - (piece.ends_with("\r\n") ? 1 : 0);
}

} // namespace

std::string fixed_line(std::string_view piece, fix_choice choice) {
    std::string line(piece);
    // Each fix repairs one fault and the faults of a line are few; the bound only
    // guarantees an end.
    for (int round = 0; round < 32; ++round) {
        const std::vector<finding> found = line_findings(line, choice == fix_choice::unsafe);
        const fix* next = first_fix(found, choice);
        if (next == nullptr) {
            break;
        }
        std::string changed = applied(line, *next);
        const bool one_piece = piece_length(changed) < LINE_PIECE_MAX ||
                               (changed.ends_with('\n') && piece_length(changed) == LINE_PIECE_MAX);
        if (changed == line || !one_piece) {
            break;
        }
        line = std::move(changed);
    }
    return line;
}

namespace {

bool copy_fixed_input(dsc_input& in, fix_choice choice, const text_sink& out) {
    dsc_block block;
    bool line_start = true;
    // Large files are mostly short comment lines: they go on in batches, not a call each.
    std::string batch;
    const auto flush = [&] {
        out(batch);
        batch.clear();
    };
    const dsc_text_end end = read_dsc_pieces(in, block, [&](std::string_view piece) {
        const bool whole = whole_line(piece, line_start);
        line_start = piece.ends_with('\n');
        if (whole && !plainly_skipped(piece)) {
            batch += fixed_line(piece, choice);
        } else {
            batch += piece;
        }
        if (batch.size() >= BATCH) {
            flush();
        }
    });
    if (end == dsc_text_end::read_error) {
        return false;
    }
    flush();
    if (end == dsc_text_end::ctrl_z) {
        // The Ctrl-Z itself, the bytes read after it, and the rest of the file.
        out(std::string_view("\x1a", 1));
        out(bytes_after_ctrl_z(block));
        char rest[65536];
        for (std::size_t got = 0; (got = read_input(in, rest, sizeof rest)) > 0;) {
            out({rest, got});
        }
        return !input_failed(in);
    }
    return true;
}

} // namespace

bool copy_fixed(std::FILE* file, fix_choice choice, const text_sink& out) {
    dsc_input in{file, {}};
    return copy_fixed_input(in, choice, out);
}

std::string fixed_text(std::string_view text, fix_choice choice) {
    dsc_input in{nullptr, text};
    std::string fixed;
    fixed.reserve(text.size());
    copy_fixed_input(in, choice, [&](std::string_view part) { fixed += part; });
    return fixed;
}
