#include "engine/dsc_format.h"

#include "engine/dsc_check.h"
#include "table/dsc_reader.h"
#include "unicode/names.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The characters a line may hold before its line end to be read as one piece.
constexpr std::size_t LINE_ROOM = LINE_PIECE_MAX - 1;

std::string_view line_end_of(std::string_view line) {
    if (line.ends_with("\r\n")) {
        return "\r\n";
    }
    return line.ends_with('\n') ? "\n" : "";
}

// A field of hexadecimal digits in upper case, padded with zeros to `width`; a longer one
// as written.
void append_field(std::string& to, std::string_view field, std::size_t width) {
    if (field.size() > width) {
        to += field;
        return;
    }
    to.append(width - field.size(), '0');
    for (const char c : field) {
        to += c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

// The entry `line` (one whole line, read as one piece) in the one layout, into `buffer`;
// false when it stays as written.
bool format_entry(std::string_view line, const dsc_line& parsed, bool names, std::string& buffer) {
    const std::string_view ending = line_end_of(line);
    // A CR or NUL before the line end hides the rest of the line from mapmaker, and it is
    // not fmt's to drop or to move.
    if (parsed.text_end != line.size() - ending.size()) {
        return false;
    }
    buffer.clear();
    append_field(buffer, line.substr(parsed.first_start, parsed.first_end - parsed.first_start), 2);
    buffer += ", ";
    append_field(buffer, line.substr(parsed.second_start, parsed.second_end - parsed.second_start),
                 4);
    // The spaces before a trailer go; those after its text are part of it, unless it is
    // nothing but spaces.
    std::string_view trailer = line.substr(parsed.second_end, parsed.text_end - parsed.second_end);
    trailer.remove_prefix(std::min(trailer.find_first_not_of(' '), trailer.size()));
    if (names && entry_comment(line, parsed).empty()) {
        const std::string name = char_name(code_of(parsed.record));
        trailer = name.empty() ? trailer : std::string_view();
        if (!name.empty()) {
            buffer += " // " + name;
        }
    }
    if (!trailer.empty()) {
        buffer += trailer.starts_with("//") ? " " : " // ";
        buffer += trailer;
    }
    if (buffer.size() > LINE_ROOM) {
        return false; // mapmaker would read it as two pieces
    }
    buffer += ending;
    return true;
}

// Cuts the text into pieces as mapmaker does, reads each as mapmaker does, and hands on
// each whole line in the one layout. Runs of lines that stay as they are go out as one
// piece of the block, as most lines of a large file are comments that stay.
class formatter {
  public:
    formatter(bool names, const text_sink& out) : names_(names), out_(out) {}

    void operator()(std::string_view piece) {
        const bool whole =
            !in_long_line_ && (piece.ends_with('\n') || piece.size() < LINE_PIECE_MAX);
        in_long_line_ = !piece.ends_with('\n');
        // Comments and empty lines, most lines of a large file, told as mapmaker tells them
        // (spaces are skipped in the piece, not in its text): a comment loses its leading
        // spaces, unless its line is read as several pieces.
        const std::size_t start = piece.find_first_not_of(' ');
        if (start != std::string_view::npos && piece.substr(start, 2) == "//") {
            if (start == 0 || !whole) {
                keep(piece);
            } else {
                put(piece.substr(start));
            }
        } else if (piece[0] == '\n' || piece.starts_with("\r\n")) {
            keep(piece);
        } else {
            read(piece, whole);
        }
    }

    // Hands on what is held, the run before the changed lines; before the block the kept
    // lines lie in is read over.
    void flush() {
        if (!run_.empty()) {
            out_(run_);
            run_ = {};
        }
        if (!changed_.empty()) {
            out_(changed_);
            changed_.clear();
        }
    }

    // Whether mapmaker would refuse the text read so far, or the whole text once read.
    bool refused() const { return fault_ || entries_ > MAX_ENTRIES; }
    bool accepted() const { return !refused() && entries_ > 0; }
    // A NUL outside a comment line: the checker refuses some such files that mapmaker
    // reads, such as UTF-16 text, and fmt refuses what check refuses.
    bool nul_seen() const { return nul_seen_; }

  private:
    [[gnu::noinline]] void read(std::string_view piece, bool whole) {
        nul_seen_ = nul_seen_ || std::memchr(piece.data(), '\0', piece.size()) != nullptr;
        const dsc_line parsed = parse_dsc_line(piece);
        fault_ = fault_ || parsed.kind == line_kind::fault;
        entries_ += parsed.kind == line_kind::entry ? 1 : 0;
        // Once refused, what follows is never written: kept, not formatted.
        if (parsed.kind == line_kind::entry && whole &&
            format_entry(piece, parsed, names_, buffer_) && buffer_ != piece) {
            put(buffer_);
        } else {
            keep(piece);
        }
    }

    // A line as it is: a view into the block while nothing before it changed since the
    // last hand-on, else a copy after the changed lines.
    void keep(std::string_view piece) {
        if (!changed_.empty()) {
            changed_ += piece; // at most a block: it is handed on before each read
        } else if (run_.data() + run_.size() == piece.data()) {
            run_ = std::string_view(run_.data(), run_.size() + piece.size());
        } else {
            flush();
            run_ = piece;
        }
    }

    // A changed line, collected with those after it: one hand-on for many lines. The run
    // kept before it goes first.
    void put(std::string_view line) { changed_ += line; }

    bool names_;
    const text_sink& out_;
    std::string_view run_; // lines kept, not yet handed on
    std::string changed_;  // changed lines and those after them, not yet handed on
    std::string buffer_;
    bool in_long_line_ = false;
    bool fault_ = false;
    bool nul_seen_ = false;
    std::uint64_t entries_ = 0;
};

// What follows the Ctrl-Z that ended the text, the Ctrl-Z included, as it is.
void copy_after_ctrl_z(const dsc_block& block, dsc_input& in, const text_sink& out) {
    out(std::string_view(block.bytes.data() + block.size, 1 + block.read_beyond));
    auto rest = std::make_unique<char[]>(DSC_BLOCK_SIZE);
    for (std::size_t got; (got = read_input(in, rest.get(), DSC_BLOCK_SIZE)) > 0;) {
        out(std::string_view(rest.get(), got));
    }
}

// What formatting found: whether mapmaker accepts the text, and whether the checker must
// read it too, as it refuses some texts with a NUL that mapmaker reads.
struct formatted {
    bool accepted = false;
    bool check = false;
};

formatted format_input(dsc_input& in, const format_options& options, const text_sink& out) {
    formatter format(options.names, out);
    const auto block = std::make_unique<dsc_block>(); // large, so not on the stack
    // The reading loop of read_dsc_pieces, with the kept lines handed on before each read
    // moves the block's bytes.
    if (in.file != nullptr) {
        std::setvbuf(in.file, nullptr, _IONBF, 0);
    }
    for (std::size_t taken = 0; !block->at_end && !format.refused();
         taken = dsc_detail::take_pieces(*block, format)) {
        format.flush();
        refill(*block, taken, in);
    }
    format.flush();
    if (block->ctrl_z && format.accepted()) {
        copy_after_ctrl_z(*block, in, out);
    }
    const bool accepted = format.accepted() && !block->failed && !input_failed(in);
    return {accepted, !accepted || format.nul_seen()};
}

// The outcome once the checker has read the text again, which reports why it is refused.
bool checked_outcome(formatted done, const dsc_check& checked, std::string_view name,
                     diagnostics& report) {
    if (!done.accepted && !checked.failed) {
        // The checker and mapmaker agree on every file; should they ever not, the file is
        // still refused, and said so.
        report.report(file_error(name, "mapmaker would refuse the file"));
    }
    return done.accepted && !checked.failed;
}

} // namespace

bool format_dsc(std::FILE* in, std::string_view name, const format_options& options,
                diagnostics& report, const text_sink& out) {
    dsc_input input{in, {}};
    const formatted done = format_input(input, options, out);
    if (!done.check) {
        return true;
    }
    std::rewind(in);
    return checked_outcome(done, check_dsc(in, name, report), name, report);
}

bool format_dsc_text(std::string_view text, std::string_view name, const format_options& options,
                     diagnostics& report, const text_sink& out) {
    dsc_input input{nullptr, text};
    const formatted done = format_input(input, options, out);
    if (!done.check) {
        return true;
    }
    return checked_outcome(done, check_dsc_text(text, name, report), name, report);
}
