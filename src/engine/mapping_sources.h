// The standard text forms of a code page's mapping, read into single-byte entries: the
// Unicode mapping file format ("0x80<TAB>0x0410<TAB>#CYRILLIC CAPITAL LETTER A"), the
// POSIX charmap as glibc ships them ("<U0410> /x80 CYRILLIC CAPITAL LETTER A") and ICU's
// .ucm file, a charmap with precision flags ("<U0410> \x80 |0").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class source_format : std::uint8_t { unicode_table, charmap, ucm };

struct source_entry {
    std::uint8_t byte = 0;
    std::uint16_t code = 0;
    std::string name; // the source's name for the character, or empty
};

// A warning or the error, at its place in the source.
struct source_note {
    std::uint64_t line = 0;
    std::size_t column = 1; // of the first byte the note is about, from 1
    std::size_t span = 1;
    std::string message;
    std::string text;                 // the line, for showing it
    std::optional<std::uint8_t> byte; // the byte a warning is about, when it is about one
};

struct mapping_source {
    source_format format = source_format::unicode_table;
    std::string charset;               // a charmap's <code_set_name>, or empty
    std::vector<source_entry> entries; // each byte's first definition taken, in the source's
                                       // order: a definition left out does not claim its byte
    std::vector<source_note> warnings; // definitions left out, each with its reason (at most
                                       // a few hundred; the rest are counted in the last)
    std::optional<source_note> error;  // a malformed line; then nothing else is to be used
};

// What the first line with content says a text is.
enum class line_kind : std::uint8_t {
    nothing,       // empty, blank or a comment: the next line decides
    unicode_table, // "0x80 ..."
    charmap,       // "<code_set_name> ...", "CHARMAP": a charmap or a .ucm file
    dsc,           // "80, 0410", "//cp866 -> UNICODE": what mapmaker reads
    unknown,
};
line_kind kind_of_line(std::string_view text);

// Reads a source line by line, so that it never needs the whole text: its form is told by
// its first line that is neither empty nor a comment ("0x..." for the Unicode form,
// "<keyword>" or CHARMAP for a charmap; a .ucm file is a charmap with ICU's declarations).
// Only bytes from `first` on are taken and warned about.
class mapping_reader {
  public:
    explicit mapping_reader(std::uint8_t first = 0);
    ~mapping_reader();
    mapping_reader(const mapping_reader&) = delete;
    mapping_reader& operator=(const mapping_reader&) = delete;

    // The next line, without its line end; false when no more lines are wanted (an error,
    // or the end of a charmap).
    bool take(std::string_view line);
    // The source after its last line.
    mapping_source finish();

  private:
    struct state;
    std::unique_ptr<state> state_;
};

// Reads a whole source held in memory.
mapping_source read_mapping_source(std::string_view text, std::uint8_t first = 0);
