#include "languageserver/Documents.h"

#include <algorithm>

namespace languageserver {
namespace {

// Length of the UTF-8 sequence that begins with `lead` (1 for a stray byte).
std::size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead < 0xF8)
        return 4;
    if (lead >= 0xE0)
        return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

std::size_t Utf16ToBytes(std::string_view text, int units)
{
    std::size_t at = 0;
    while (units > 0 && at < text.size() && text[at] != '\n') {
        const std::size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
        units -= length == 4 ? 2 : 1;
        at += length;
    }
    return at;
}

int BytesToUtf16(std::string_view text, std::size_t bytes)
{
    int units = 0;
    for (std::size_t at = 0; at < std::min(bytes, text.size());) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[at]));
        units += length == 4 ? 2 : 1;
        at += length;
    }
    return units;
}

TextDocument::TextDocument(std::string uri, std::string languageId, int version, std::string text)
    : uri_(std::move(uri)), languageId_(std::move(languageId)), version_(version), text_(std::move(text))
{
}

std::size_t TextDocument::offsetOf(Position position) const
{
    std::size_t lineStart = 0;
    for (int line = 0; line < position.line; ++line) {
        const std::size_t newline = text_.find('\n', lineStart);
        if (newline == std::string::npos)
            return text_.size();
        lineStart = newline + 1;
    }
    return lineStart + Utf16ToBytes(std::string_view(text_).substr(lineStart), std::max(0, position.character));
}

Position TextDocument::positionOf(std::size_t offset) const
{
    offset = std::min(offset, text_.size());
    Position position;
    std::size_t lineStart = 0;
    for (std::size_t newline = text_.find('\n'); newline != std::string::npos && newline < offset;
         newline = text_.find('\n', lineStart)) {
        ++position.line;
        lineStart = newline + 1;
    }
    position.character = BytesToUtf16(std::string_view(text_).substr(lineStart), offset - lineStart);
    return position;
}

void TextDocument::apply(const std::optional<Range>& range, std::string_view newText, int version)
{
    version_ = version;
    if (!range) {
        text_ = std::string(newText);
        return;
    }
    const std::size_t start = offsetOf(range->start);
    const std::size_t end = std::max(start, offsetOf(range->end));
    text_.replace(start, end - start, newText);
}

const TextDocument* DocumentStore::find(const std::string& uri) const
{
    const auto it = documents_.find(uri);
    return it == documents_.end() ? nullptr : &it->second;
}

TextDocument* DocumentStore::get(const std::string& uri)
{
    const auto it = documents_.find(uri);
    return it == documents_.end() ? nullptr : &it->second;
}

TextDocument& DocumentStore::open(TextDocument document)
{
    const std::string uri = document.uri();
    return documents_.insert_or_assign(uri, std::move(document)).first->second;
}

void DocumentStore::close(const std::string& uri)
{
    documents_.erase(uri);
}

} // namespace languageserver
