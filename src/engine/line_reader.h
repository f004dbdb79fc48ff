// A text source read one line at a time, gzip-compressed or not, in memory that does not
// grow with the file: a 1 GiB charmap, or a gzip bomb, costs what one line costs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

struct z_stream_s;

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

    // Whether the data is gzip-compressed; known once the first line is read.
    bool compressed() const { return mode_ == mode::gzip; }

    // The next line, without its LF or CR LF.
    line_status next();
    std::string_view line() const { return line_; }
    std::uint64_t number() const { return number_; }
    const std::string& problem() const { return problem_; }

  private:
    enum class mode : std::uint8_t { unknown, plain, gzip };
    struct inflate_end {
        void operator()(z_stream_s* stream) const;
    };

    std::FILE* file_;
    mode mode_ = mode::unknown;
    std::unique_ptr<z_stream_s, inflate_end> z_;
    std::string input_; // compressed bytes, those not yet uncompressed at z_->next_in
    bool input_ended_ = false;
    bool member_ended_ = false; // a gzip member ended: another may follow, nothing else
    std::string block_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
    bool at_end_ = false;
    std::string line_;
    std::uint64_t number_ = 0;
    std::string problem_;

    bool read_input();
    bool refill();
    bool inflate_block();
    bool fail(std::string why);
};
