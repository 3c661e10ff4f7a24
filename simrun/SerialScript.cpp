#include "simrun/SerialScript.h"

#include "common/FileRead.h"
#include "common/FileWrite.h"
#include "common/PlainText.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>

namespace m51sim {

FileSource BytesSource(std::string bytes)
{
    auto shared = std::make_shared<const std::string>(std::move(bytes));
    return [shared] {
        return ByteStream([shared, at = std::size_t{0}](char* out, std::size_t n) mutable {
            const std::size_t count = std::min(n, shared->size() - at);
            shared->copy(out, count, at);
            at += count;
            return count;
        });
    };
}

std::optional<FileSource> OpenFileSource(const std::string& path, std::string& why)
{
    why = m51::notAFile(path, true);
    if (!why.empty())
        return std::nullopt;
    if (!std::ifstream(path, std::ios::binary)) {
        why = "cannot be opened";
        return std::nullopt;
    }
    return FileSource([path] {
        auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
        return ByteStream([file](char* out, std::size_t n) -> std::size_t {
            if (!*file)
                return 0;
            file->read(out, static_cast<std::streamsize>(n));
            return static_cast<std::size_t>(file->gcount());
        });
    });
}

FileOpener WholeFiles(FileReader readFile)
{
    return [readFile = std::move(readFile)](const std::string& path, std::string& why) -> std::optional<FileSource> {
        auto bytes = readFile(path, why);
        if (!bytes)
            return std::nullopt;
        return BytesSource(std::move(*bytes));
    };
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            const int high = i + 1 < text.size() ? m51::HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? m51::HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

SerialScript ParseSerialScript(std::string_view text, const std::string& name, const FileOpener& openFile)
{
    SerialScript script;
    int number = 0;
    auto fail = [&](const std::string& message) {
        script.error = name + ':' + std::to_string(number) + ": " + m51::quoteForMessage(message);
        script.commands.clear();
        return script;
    };
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        line.remove_prefix(first);
        const size_t space = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, space);
        const std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        ScriptCommand command;
        command.line = number;
        if (word == "send" || word == "expect") {
            const auto bytes = Unescape(argument);
            if (!bytes)
                return fail("bad escape in \"" + std::string(argument) + "\" (\\r, \\n, \\t, \\\\ or \\xNN)");
            if (bytes->empty())
                return fail(std::string(word) + " needs a text");
            command.kind = word == "send" ? ScriptCommand::Kind::Send : ScriptCommand::Kind::Expect;
            command.bytes = *bytes;
        } else if (word == "sendfile") {
            if (argument.empty())
                return fail("sendfile needs a file");
            std::string why;
            auto file = openFile(std::string(argument), why);
            if (!file)
                return fail("cannot read " + std::string(argument) + ": " + why);
            command.file = std::move(*file);
        } else if (word == "wait") {
            const auto [ptr, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), command.cycles);
            if (argument.empty() || ec != std::errc() || ptr != argument.data() + argument.size())
                return fail("wait needs a number of machine cycles, not \"" + std::string(argument) + "\"");
            command.kind = ScriptCommand::Kind::Wait;
        } else {
            return fail("unknown command \"" + std::string(word) + "\" (send, sendfile, expect, wait)");
        }
        script.commands.push_back(std::move(command));
    }
    return script;
}

std::string ScriptRunner::poll(uint64_t cycle, const std::string& received, std::size_t queued)
{
    while (!done()) {
        const ScriptCommand& command = m_commands[m_next];
        if (command.kind == ScriptCommand::Kind::Send) {
            m_feed.push_back(command.file ? Feed{{}, command.file()} : Feed{command.bytes, {}});
        } else if (command.kind == ScriptCommand::Kind::Expect) {
            const size_t at = received.find(command.bytes, m_searchFrom);
            if (at == std::string::npos)
                break;
            m_searchFrom = at + command.bytes.size();
        } else {
            if (!m_waitUntil)
                m_waitUntil = cycle + command.cycles;
            if (cycle < *m_waitUntil)
                break;
            m_waitUntil.reset();
        }
        ++m_next;
    }
    return take(queued);
}

// Bytes given at once go out whole, as soon as everything before them has
// gone; a file goes out a piece at a time.
std::string ScriptRunner::take(std::size_t queued)
{
    std::string out;
    if (!m_feed.empty() && m_feed.front().stream && queued >= kFeedLow)
        return out;
    while (!m_feed.empty() && queued + out.size() < kFeedAhead) {
        Feed& feed = m_feed.front();
        if (!feed.stream) {
            out += feed.bytes;
            m_feed.pop_front();
            continue;
        }
        const std::size_t at = out.size();
        out.resize(kFeedAhead - queued);
        const std::size_t count = feed.stream(out.data() + at, out.size() - at);
        out.resize(at + count);
        if (count == 0)
            m_feed.pop_front();
    }
    return out;
}

} // namespace m51sim
