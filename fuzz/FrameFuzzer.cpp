// Fuzz target: the input bytes are what a debug adapter's or language
// server's client sends, fed in pieces whose sizes the input's first byte
// chooses. The reader must stay within its limits and keep making progress.
#include "protocol/BaseProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    protocol::FrameReader reader(256, 128);
    for (std::size_t at = 0; at < input.size(); at += piece) {
        reader.feed(input.substr(at, piece));
        for (int guard = 0;; ++guard) {
            if (guard > 100000)
                std::abort();
            const auto next = reader.next();
            if (next.status == protocol::FrameReader::Status::NeedMore)
                break;
            if (next.body.size() > 256)
                std::abort();
        }
        if (reader.buffered() > 256 + 128 + 4 + piece)
            std::abort();
    }
    return 0;
}
