#include "SerialScript.h"

#include "FileWrite.h"
#include "PlainText.h"

#include <charconv>

namespace m51sim {

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

SerialScript ParseSerialScript(std::string_view text, const std::string& name, const FileReader& readFile)
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
            const auto bytes = readFile(std::string(argument), why);
            if (!bytes)
                return fail("cannot read " + std::string(argument) + ": " + why);
            command.bytes = *bytes;
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

std::string ScriptRunner::poll(uint64_t cycle, const std::string& received)
{
    std::string toSend;
    while (!done()) {
        const ScriptCommand& command = m_commands[m_next];
        if (command.kind == ScriptCommand::Kind::Send) {
            toSend += command.bytes;
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
    return toSend;
}

} // namespace m51sim
