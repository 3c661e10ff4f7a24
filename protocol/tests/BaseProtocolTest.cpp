// Framing on a client's byte stream: messages however the bytes are split,
// and faults that are reported and passed over without losing the stream.
#include "protocol/BaseProtocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using protocol::FrameReader;

// Everything the reader gives for `stream` fed in pieces of `piece` bytes:
// bodies as they are, faults as "!".
std::vector<std::string> ReadAll(const std::string& stream, std::size_t piece, FrameReader reader = FrameReader(64, 64))
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        reader.feed(std::string_view(stream).substr(at, piece));
        for (auto next = reader.next(); next.status != FrameReader::Status::NeedMore; next = reader.next())
            out.push_back(next.status == FrameReader::Status::Message ? next.body : "!");
        EXPECT_LE(reader.buffered(), 64u + 64u + 4u);
    }
    return out;
}

TEST(BaseProtocol, MessagesAndFaultsWhateverTheSplit)
{
    const struct {
        std::string stream;
        std::vector<std::string> expected;
    } cases[] = {
        {protocol::Frame("{\"a\":1}") + protocol::Frame("{}"), {"{\"a\":1}", "{}"}},
        {"content-length:  2\r\nContent-Type: application/vscode-jsonrpc\r\n\r\n[]", {"[]"}},
        {"Content-Type: x\r\n\r\n" + protocol::Frame("{}"), {"!", "{}"}},
        {"Content-Length: 2x\r\n\r\n" + protocol::Frame("{}"), {"!", "{}"}},
        {"Content-Length: 99999999999999999999999\r\n\r\n" + protocol::Frame("{}"), {"!", "{}"}},
        {"Content-Length: 100\r\n\r\n" + std::string(100, 'x') + protocol::Frame("{}"), {"!", "{}"}},
        {std::string(200, 'h') + "\r\n\r\n" + protocol::Frame("{}"), {"!", "{}"}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1u, 7u, 1000u}) {
            SCOPED_TRACE(c.stream.substr(0, 40) + " in pieces of " + std::to_string(piece));
            const auto got = ReadAll(c.stream, piece);
            // A header block without its end is dropped in as many faults as
            // the pieces make it; what follows always comes through.
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(got.back(), c.expected.back());
            if (piece == 1000u) {
                EXPECT_EQ(got, c.expected);
            }
        }
    }
}

} // namespace
