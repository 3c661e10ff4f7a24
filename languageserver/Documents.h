#pragma once
// The open documents of a language server's client, kept as the client edits
// them. Clients send UTF-8 text and count positions in UTF-16 code units
// (the Language Server Protocol's default); edits name ranges in those
// units. Positions past a line's end or past the last line are clamped, as
// the protocol asks, so that a client's slip never corrupts the text.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace languageserver {

struct Position {
    int line = 0;
    int character = 0;  // UTF-16 code units
    bool operator==(const Position&) const = default;
};

struct Range {
    Position start;
    Position end;
    bool operator==(const Range&) const = default;
};

class TextDocument {
public:
    TextDocument() = default;
    TextDocument(std::string uri, std::string languageId, int version, std::string text);

    const std::string& uri() const { return uri_; }
    const std::string& languageId() const { return languageId_; }
    int version() const { return version_; }
    const std::string& text() const { return text_; }

    // Replaces `range` (the whole text when absent) with `newText`.
    void apply(const std::optional<Range>& range, std::string_view newText, int version);

    // The byte offset of a position, and back.
    std::size_t offsetOf(Position position) const;
    Position positionOf(std::size_t offset) const;

private:
    std::string uri_;
    std::string languageId_;
    int version_ = 0;
    std::string text_;
};

class DocumentStore {
public:
    // The document of `uri`, or null when the client has not opened it.
    const TextDocument* find(const std::string& uri) const;
    TextDocument& open(TextDocument document);
    TextDocument* get(const std::string& uri);
    void close(const std::string& uri);
    const std::map<std::string, TextDocument>& all() const { return documents_; }

private:
    std::map<std::string, TextDocument> documents_;
};

// Bytes of UTF-8 text that `units` UTF-16 code units take from `text`'s
// start (clamped to the text), and the units that `bytes` bytes make.
std::size_t Utf16ToBytes(std::string_view text, int units);
int BytesToUtf16(std::string_view text, std::size_t bytes);

} // namespace languageserver
