#pragma once
// The base protocol that the Debug Adapter Protocol and the Language Server
// Protocol share: each message is a header block ("Content-Length: N", other
// headers, an empty line, all ending in CR LF) and a body of N bytes of JSON.
// m51sim --dap and m51lsp read their client's stream through FrameReader,
// which never holds more than its limits: a malformed header block is
// reported and dropped, and a body longer than the limit is reported and
// skipped as it arrives, so that a broken or hostile client cannot make the
// program crash, hang or grow without bound.

#include <cstddef>
#include <string>
#include <string_view>

namespace protocol {

class FrameReader {
public:
    explicit FrameReader(std::size_t maxBody = 16u << 20, std::size_t maxHeader = 8u << 10);

    // Bytes as they came from the client.
    void feed(std::string_view bytes);

    enum class Status { NeedMore, Message, Error };
    struct Next {
        Status status = Status::NeedMore;
        std::string body;   // Message: the JSON text
        std::string error;  // Error: what was wrong; the reader has moved past it
    };
    // The next complete message, or the next fault in the stream.
    Next next();

    // Bytes held for messages still incomplete.
    std::size_t buffered() const { return buffer_.size(); }

private:
    Next headerFault(std::string reason, std::size_t drop);

    std::string buffer_;
    std::size_t maxBody_;
    std::size_t maxHeader_;
    std::size_t skipping_ = 0;  // body bytes of an over-long message still to drop
};

// A message ready to send: its header block and `body`.
std::string Frame(std::string_view body);

} // namespace protocol
