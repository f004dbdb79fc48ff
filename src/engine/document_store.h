// The texts an editor holds open, kept as it edits them, and places in them as editors
// name them: a line and a character counted in UTF-8 bytes or UTF-16 code units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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
// start: a text's findings are placed in one pass, not one pass each. A place before the
// last one goes back to the nearest of the line starts noted on the way, not to the start.
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
    // Where an editor's line starts. A checker's line (ended by LF alone) starts where an
    // editor's line does, so one walk over the editor's lines counts both.
    struct line_start {
        std::size_t offset = 0;
        std::uint64_t line = 0;        // the editor's line, from 0
        std::uint64_t lfs = 0;         // the LFs before it: the checker's line less 1
        std::size_t checker_start = 0; // where the checker's line it is on starts
    };
    // The last search for one byte: from where, and what it found (npos for none).
    struct byte_search {
        std::size_t from = std::string_view::npos;
        std::size_t found = std::string_view::npos;
    };

    std::size_t find(char byte, byte_search& last, std::size_t from) const;
    // The first CR or LF at or after `from`; the text's size when there is none.
    std::size_t line_text_end(std::size_t from) const;
    // The start of the line after the one the walk is on; an offset of npos on the last.
    line_start following() const;
    void move_to(const line_start& next);
    // Goes back to the last line start noted that `fits`, else to the text's start.
    template <typename Fits> void back_to(Fits fits);

    std::string_view text_;
    position_encoding encoding_;
    line_start at_; // the line the walk is on
    // Line starts about a megabyte apart, in the order of the text.
    std::vector<line_start> noted_;
    // A search stops at the first byte found, and finds it again for every place before
    // it: so a text with no CR (or no LF) is searched for it once, not once a line.
    mutable byte_search cr_;
    mutable byte_search lf_;
};

struct document {
    std::string text;
    std::int64_t version = 0;
};

// The open documents by their URI.
class document_store {
  public:
    void open(const std::string& uri, std::string text, std::int64_t version);
    // A document that was not open is no error: nothing is there to forget.
    void close(const std::string& uri);
    // nullptr when the document is not open.
    document* find(const std::string& uri);

  private:
    std::map<std::string, document, std::less<>> documents_;
};

// Replaces a range of the text in place; a range whose end comes before its start is
// taken as empty at its start. The text's memory is reused, so that edits do not grow it.
void apply_edit(std::string& text, const text_range& range, std::string_view replacement,
                position_encoding encoding);
