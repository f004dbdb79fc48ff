// A text source read one line at a time, gzip-compressed or not, in memory that does not
// grow with the file: a 1 GiB charmap, or a gzip bomb, costs what one line costs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct gzFile_s;

// No line of a real table comes near this: glibc's longest charmap line has about 100
// bytes. A longer one means the file is no table, and reading on would only cost memory.
constexpr std::size_t SOURCE_LINE_MAX = 4096;

enum class line_status : std::uint8_t {
    line,     // line() holds the next line
    end,      // the text ended where it should
    too_long, // line() holds the first SOURCE_LINE_MAX bytes of a longer line
    failed,   // a read error, or a damaged or cut gzip stream: problem() says which
};

class line_reader {
  public:
    // Reads the open file from its start; gzip-compressed data, told by its magic bytes,
    // is uncompressed on the way. The file stays open and owned by the caller.
    explicit line_reader(std::FILE* file);
    ~line_reader();
    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    // Whether the file could be opened for reading; problem() says why not.
    bool opened() const { return gz_ != nullptr; }
    // Whether the data is gzip-compressed; known once the first line is read.
    bool compressed() const;

    // The next line, without its LF or CR LF.
    line_status next();
    std::string_view line() const { return line_; }
    std::uint64_t number() const { return number_; }
    const std::string& problem() const { return problem_; }

  private:
    gzFile_s* gz_ = nullptr;
    std::string block_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
    bool at_end_ = false;
    std::string line_;
    std::uint64_t number_ = 0;
    std::string problem_;

    bool refill();
};
