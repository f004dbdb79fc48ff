// The language server protocol's framing: each message a header block ("Content-Length: N",
// other headers ignored, lines ended by CR LF) and N bytes of JSON.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

enum class frame_status : std::uint8_t {
    message,    // body holds the message's bytes
    bad_header, // a header block without a usable Content-Length: problem says why
    end,        // the input ended between messages
    cut,        // the input ended within a message
};

struct frame {
    frame_status status = frame_status::end;
    std::string body;
    std::string problem;
};

// Reads messages one after another from a stream.
class frame_reader {
  public:
    explicit frame_reader(std::istream& in) : in_(in) {}

    // Reads the next message. After a bad header block the input is passed over up to the
    // next "Content-Length:", where the next message is taken to start. `body` is reused,
    // so that reading many messages does not grow memory beyond the largest.
    void read(frame& into);

  private:
    bool skip_to_header();

    std::istream& in_;
    bool after_name_ = false; // the skip has read the next header's name
};

// Writes one message and flushes it.
void write_frame(std::ostream& out, std::string_view body);
