#include "protocol/BaseProtocol.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace protocol {
namespace {

constexpr std::string_view kEnd = "\r\n\r\n";
constexpr std::string_view kLength = "content-length:";

bool sameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Where the last "Content-Length:" of a header block begins (any case).
std::size_t lastLengthHeader(std::string_view headers)
{
    for (std::size_t at = headers.size(); at-- > 0;) {
        if (headers.size() - at >= kLength.size() && sameLetters(headers.substr(at, kLength.size()), kLength))
            return at;
    }
    return std::string_view::npos;
}

} // namespace

FrameReader::FrameReader(std::size_t maxBody, std::size_t maxHeader) : maxBody_(maxBody), maxHeader_(maxHeader) {}

void FrameReader::feed(std::string_view bytes)
{
    const std::size_t skipped = std::min(skipping_, bytes.size());
    skipping_ -= skipped;
    buffer_.append(bytes.substr(skipped));
}

FrameReader::Next FrameReader::headerFault(std::string reason, std::size_t drop)
{
    buffer_.erase(0, drop);
    return Next{Status::Error, {}, std::move(reason)};
}

FrameReader::Next FrameReader::next()
{
    if (skipping_ > 0)
        return {};
    const std::size_t end = buffer_.find(kEnd);
    if (end == std::string::npos) {
        if (buffer_.size() <= maxHeader_)
            return {};
        // No end of the header block within the limit: drop what came, keeping
        // a possible start of the end marker.
        return headerFault("a header block longer than " + std::to_string(maxHeader_) + " bytes",
                           buffer_.size() - (kEnd.size() - 1));
    }
    if (end > maxHeader_)
        return headerFault("a header block longer than " + std::to_string(maxHeader_) + " bytes", end + kEnd.size());
    std::string_view headers = std::string_view(buffer_).substr(0, end);
    // Bytes before a header (the rest of a broken message) are passed over
    // up to the header, so that the messages after them still come through.
    if (const std::size_t header = lastLengthHeader(headers); header != std::string_view::npos && header > 0
        && (header < 2 || headers.substr(header - 2, 2) != "\r\n")) {
        buffer_.erase(0, header);
        return Next{Status::Error, {}, "bytes before a message's header"};
    }
    std::size_t length = 0;
    bool haveLength = false;
    while (!headers.empty()) {
        const std::size_t lineEnd = std::min(headers.find("\r\n"), headers.size());
        const std::string_view line = headers.substr(0, lineEnd);
        headers.remove_prefix(std::min(lineEnd + 2, headers.size()));
        if (line.size() < kLength.size() || !sameLetters(line.substr(0, kLength.size()), kLength))
            continue;
        std::string_view number = line.substr(kLength.size());
        while (!number.empty() && number.front() == ' ')
            number.remove_prefix(1);
        const auto [last, error] = std::from_chars(number.data(), number.data() + number.size(), length);
        if (error != std::errc() || last != number.data() + number.size())
            return headerFault("a Content-Length that is not a number", end + kEnd.size());
        haveLength = true;
    }
    if (!haveLength)
        return headerFault("a message without a Content-Length header", end + kEnd.size());
    const std::size_t bodyStart = end + kEnd.size();
    if (length > maxBody_) {
        const std::size_t present = std::min(buffer_.size() - bodyStart, length);
        skipping_ = length - present;
        buffer_.erase(0, bodyStart + present);
        return Next{Status::Error, {}, "a message of " + std::to_string(length) + " bytes, over the limit of "
                                           + std::to_string(maxBody_)};
    }
    if (buffer_.size() - bodyStart < length)
        return {};
    Next message{Status::Message, buffer_.substr(bodyStart, length), {}};
    buffer_.erase(0, bodyStart + length);
    return message;
}

std::string Frame(std::string_view body)
{
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

} // namespace protocol
