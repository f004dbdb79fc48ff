// The texts an editor holds open, kept as it edits them, and places in them as editors
// name them: a line and a character counted in UTF-8 bytes or UTF-16 code units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

enum class position_encoding : std::uint8_t { utf8, utf16 };

// Counted from 0. Lines end at LF, CR LF or a CR alone, as editors end them.
struct text_position {
    std::uint64_t line = 0;
    std::uint64_t character = 0;
};

struct text_range {
    text_position start;
    text_position end;
};

// Turns places into byte offsets and back in one text. Places are mostly asked for in
// the order of the text, so each search goes on from the last one rather than from the
// start: a text's findings are placed in one pass, not one pass each.
class text_locator {
  public:
    text_locator(std::string_view text, position_encoding encoding)
        : text_(text), encoding_(encoding) {}

    // The offset of a place. A character beyond its line's end is the line's end (before
    // its line end), a line beyond the text is the text's end, and a character within a
    // UTF-8 sequence or a surrogate pair is the character's start.
    std::size_t offset(text_position at);
    // The place of an offset; an offset within a character or a CR LF is the place of
    // its start.
    text_position position(std::size_t offset);
    // The offset of a byte column (from 1) on a line (from 1) as the checker counts lines,
    // ended by LF alone; a column beyond the line's text is its end, before the line end.
    std::size_t checker_offset(std::uint64_t line, std::uint64_t column);

  private:
    // The offset after the line end of the line starting at `start`, and that line end's length.
    std::size_t line_text_end(std::size_t start) const;
    std::size_t next_line(std::size_t start) const;

    std::string_view text_;
    position_encoding encoding_;
    std::uint64_t line_ = 0; // the editor's line the cursor is on, and its start
    std::size_t line_start_ = 0;
    std::uint64_t lf_line_ = 1; // the same for the checker's lines
    std::size_t lf_line_start_ = 0;
};

struct document {
    std::string text;
    std::int64_t version = 0;
};

// The open documents by their URI.
class document_store {
  public:
    void open(const std::string& uri, std::string text, std::int64_t version);
    // False when the document was not open.
    bool close(const std::string& uri);
    // nullptr when the document is not open.
    document* find(const std::string& uri);

  private:
    std::map<std::string, document, std::less<>> documents_;
};

// Replaces a range of the text in place; a range whose end comes before its start is
// taken as empty at its start. The text's memory is reused, so that edits do not grow it.
void apply_edit(std::string& text, const text_range& range, std::string_view replacement,
                position_encoding encoding);
