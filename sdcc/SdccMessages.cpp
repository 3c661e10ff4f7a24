#include "sdcc/SdccMessages.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace sdcc {
namespace {

constexpr std::size_t kMaxText = 1000;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// A decimal number at the front of `text`, taken off it.
std::optional<int> takeNumber(std::string_view& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value < 0)
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// "FILE:LINE[:COLUMN]: REST": the first ':' that a line number follows.
std::optional<Message> placed(std::string_view line, std::string_view& rest)
{
    for (std::size_t colon = line.find(':'); colon != std::string_view::npos; colon = line.find(':', colon + 1)) {
        if (colon == 0)
            continue;
        std::string_view after = line.substr(colon + 1);
        const auto number = takeNumber(after);
        if (!number || after.empty() || after.front() != ':')
            continue;
        Message message;
        message.file = std::string(line.substr(0, colon));
        message.line = *number;
        after.remove_prefix(1);
        std::string_view column = after;
        if (const auto c = takeNumber(column); c && !column.empty() && column.front() == ':') {
            message.column = *c;
            after = column.substr(1);
        }
        rest = trimmed(after);
        return message;
    }
    return std::nullopt;
}

// The severity word after the place: "error 20:", "warning 196:", "fatal
// error:", "syntax error:", "Error:", "note:".
void takeSeverity(Message& message, std::string_view& rest)
{
    struct Word {
        std::string_view word;
        Message::Severity severity;
    };
    static constexpr Word kWords[] = {
        {"fatal error", Message::Severity::Error}, {"syntax error", Message::Severity::Error},
        {"error", Message::Severity::Error},       {"Error", Message::Severity::Error},
        {"warning", Message::Severity::Warning},   {"Warning", Message::Severity::Warning},
        {"note", Message::Severity::Note},
    };
    for (const Word& w : kWords) {
        if (!startsWith(rest, w.word))
            continue;
        std::string_view after = rest.substr(w.word.size());
        if (!after.empty() && after.front() == ' ')
            after.remove_prefix(1);
        takeNumber(after);  // SDCC's message number
        if (after.empty() || after.front() != ':')
            continue;
        message.severity = w.severity;
        rest = trimmed(after.substr(1));
        return;
    }
}

// The parser names the column at the end: "token -> '}' ; column 1".
void takeParserColumn(Message& message)
{
    const std::size_t at = message.text.rfind("; column ");
    if (at == std::string::npos || message.column != 0)
        return;
    std::string_view number = std::string_view(message.text).substr(at + 9);
    if (const auto column = takeNumber(number); column && number.empty()) {
        message.column = *column;
        message.text = std::string(trimmed(std::string_view(message.text).substr(0, at)));
    }
}

std::optional<Message> linkerMessage(std::string_view line)
{
    static constexpr std::string_view kPrefix = "?ASlink-";
    if (!startsWith(line, kPrefix))
        return std::nullopt;
    Message message;
    std::string_view rest = line.substr(kPrefix.size());
    if (startsWith(rest, "Warning-"))
        message.severity = Message::Severity::Warning;
    const std::size_t dash = rest.find('-');
    message.text = std::string(trimmed(dash == std::string_view::npos ? rest : rest.substr(dash + 1)));
    return message;
}

void append(std::string& text, std::string_view more)
{
    if (text.size() >= kMaxText)
        return;
    text += text.empty() ? "" : "; ";
    text += more.substr(0, kMaxText - std::min(text.size(), kMaxText));
}

} // namespace

std::vector<Message> ReadMessages(std::string_view output, std::size_t maxMessages)
{
    std::vector<Message> messages;
    std::size_t dropped = 0;
    bool lastKept = false;
    while (!output.empty()) {
        const std::size_t end = output.find('\n');
        const std::string_view raw = output.substr(0, end);
        output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
        const std::string_view line = trimmed(raw);
        if (line.empty())
            continue;
        const bool continues = std::isspace(static_cast<unsigned char>(raw.front())) || startsWith(line, "from type")
            || startsWith(line, "to type");
        if (continues) {
            if (lastKept)
                append(messages.back().text, line);
            continue;
        }
        std::string_view rest;
        std::optional<Message> message = linkerMessage(line);
        if (!message && (message = placed(line, rest))) {
            takeSeverity(*message, rest);
            append(message->text, rest);
            takeParserColumn(*message);
            // The parser's own words say only what it met.
            if (line.find(": syntax error:") != std::string_view::npos)
                message->text.insert(0, "syntax error: ");
        }
        lastKept = false;
        if (!message)
            continue;
        if (messages.size() >= maxMessages) {
            ++dropped;
            continue;
        }
        messages.push_back(std::move(*message));
        lastKept = true;
    }
    if (dropped > 0)
        messages.push_back(Message{{}, 0, 0, Message::Severity::Error, "... and " + std::to_string(dropped) + " more messages"});
    return messages;
}

} // namespace sdcc
