#include "debugger/S51Answers.h"

#include "common/PlainText.h"

#include <charconv>
#include <cctype>

namespace m51dbg {

namespace {

using m51::SplitLines;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> Tokens(std::string_view line)
{
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const size_t begin = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > begin)
            tokens.push_back(line.substr(begin, i - begin));
    }
    return tokens;
}

// "0x3c", "3c" or "0x00003c" as a number.
std::optional<unsigned long> Hex(std::string_view s)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return value;
}

bool IsHexByte(std::string_view s)
{
    return s.size() == 2 && std::isxdigit(static_cast<unsigned char>(s[0]))
        && std::isxdigit(static_cast<unsigned char>(s[1]));
}

// The hexadecimal number after `key` in `line` ("ACC= 0x2c" with key "ACC=").
std::optional<unsigned long> HexAfter(std::string_view line, std::string_view key)
{
    const size_t at = line.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const auto tokens = Tokens(line.substr(at + key.size()));
    if (tokens.empty())
        return std::nullopt;
    return Hex(tokens.front());
}

} // namespace

std::string CleanAnswer(std::string_view raw, std::string_view command)
{
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\x1b') {
            // CSI sequence: ESC [ parameters final-byte
            if (i + 1 < raw.size() && raw[i + 1] == '[') {
                i += 2;
                while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~'))
                    ++i;
            }
            continue;
        }
        if (c == '\r' || c == '\0')
            continue;
        text += c;
    }
    // The echo is the first line when it repeats the command.
    if (!command.empty()) {
        const size_t end = text.find('\n');
        if (Trim(std::string_view(text).substr(0, end)) == Trim(command))
            text.erase(0, end == std::string::npos ? text.size() : end + 1);
    }
    return text;
}

std::optional<long long> ParseExpressionValue(std::string_view answer)
{
    // s51 follows an error with a stray "0"; such an answer has no value.
    if (!FindErrorLine(answer).empty())
        return std::nullopt;
    std::optional<long long> value;
    for (std::string_view line : SplitLines(answer)) {
        line = Trim(line);
        long long number = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), number, 10);
        if (!line.empty() && ec == std::errc() && end == line.data() + line.size())
            value = number;
    }
    return value;
}

StopReport ParseStopReport(std::string_view answer)
{
    StopReport report;
    bool registerRowNext = false;
    for (std::string_view line : SplitLines(answer)) {
        const std::string_view t = Trim(line);
        if (registerRowNext) {
            registerRowNext = false;
            const auto tokens = Tokens(t);
            if (tokens.size() == 8) {
                std::array<uint8_t, 8> r{};
                bool ok = true;
                for (size_t i = 0; i < 8 && ok; ++i) {
                    const auto v = Hex(tokens[i]);
                    ok = v && IsHexByte(tokens[i]);
                    r[i] = static_cast<uint8_t>(v.value_or(0));
                }
                if (ok)
                    report.r = r;
            }
            continue;
        }
        if (t.starts_with("Stop at ")) {
            const auto tokens = Tokens(t.substr(8));
            if (!tokens.empty()) {
                std::string_view address = tokens[0];
                if (address.ends_with(':'))
                    address.remove_suffix(1);
                if (const auto pc = Hex(address))
                    report.pc = static_cast<uint16_t>(*pc);
            }
            const size_t open = t.find('(');
            const size_t close = t.find(')', open == std::string_view::npos ? 0 : open);
            if (open != std::string_view::npos && close != std::string_view::npos) {
                int code = -1;
                std::from_chars(t.data() + open + 1, t.data() + close, code);
                report.reasonCode = code;
                report.reasonText = std::string(Trim(t.substr(close + 1)));
            }
            if (report.reasonText.starts_with("Breakpoint"))
                report.reason = StopReason::Breakpoint;
            else if (report.reasonText.starts_with("stepped"))
                report.reason = StopReason::Stepped;
            else if (report.reasonText.starts_with("User stopped"))
                report.reason = StopReason::UserStopped;
            else
                report.reason = StopReason::Other;
            continue;
        }
        if (t.starts_with("R0 R1 R2 R3 R4 R5 R6 R7")) {
            registerRowNext = true;
            continue;
        }
        if (t.starts_with("SP ")) {
            if (const auto v = HexAfter(t, "SP "))
                report.sp = static_cast<uint8_t>(*v);
            const size_t arrow = t.find("->");
            if (arrow != std::string_view::npos)
                for (std::string_view token : Tokens(t.substr(arrow + 2)))
                    if (IsHexByte(token))
                        report.stack.push_back(static_cast<uint8_t>(*Hex(token)));
        }
        if (const auto v = HexAfter(t, "ACC="))
            report.acc = static_cast<uint8_t>(*v);
        if (const auto v = HexAfter(t, " B="))
            report.b = static_cast<uint8_t>(*v);
        if (const auto v = HexAfter(t, "PSW="))
            report.psw = static_cast<uint8_t>(*v);
        if (t.starts_with("DPTR=")) {
            if (const auto v = HexAfter(t, "DPTR="))
                report.dptr = static_cast<uint16_t>(*v);
        }
        // The final "F 0x00004a" line repeats the PC where the CPU stands.
        if (t.starts_with("F 0x")) {
            if (const auto v = Hex(Trim(t.substr(2))))
                report.pc = static_cast<uint16_t>(*v);
        }
    }
    return report;
}

std::optional<std::vector<uint8_t>> ParseDump(std::string_view answer, unsigned start, unsigned count)
{
    struct Row {
        unsigned long address;
        std::vector<std::string_view> tokens;
    };
    std::vector<Row> rows;
    for (std::string_view line : SplitLines(answer)) {
        auto tokens = Tokens(line);
        if (tokens.size() < 2 || !tokens[0].starts_with("0x"))
            continue;
        const auto address = Hex(tokens[0]);
        if (!address || *address < start || *address >= start + count)
            continue;
        tokens.erase(tokens.begin());
        rows.push_back({*address, std::move(tokens)});
    }
    // A row holds the bytes up to the next row's address; the character
    // column after them may itself look like hexadecimal bytes.
    std::vector<uint8_t> bytes(count);
    unsigned expected = start;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].address != expected)
            return std::nullopt;
        const unsigned long next = i + 1 < rows.size() ? rows[i + 1].address : start + count;
        if (next <= rows[i].address || next - rows[i].address > rows[i].tokens.size())
            return std::nullopt;
        for (unsigned long a = rows[i].address; a < next; ++a) {
            const std::string_view token = rows[i].tokens[a - rows[i].address];
            if (!IsHexByte(token))
                return std::nullopt;
            bytes[a - start] = static_cast<uint8_t>(*Hex(token));
        }
        expected = static_cast<unsigned>(next);
    }
    if (expected != start + count)
        return std::nullopt;
    return bytes;
}

std::optional<int> ParseBreakpointNumber(std::string_view answer)
{
    for (std::string_view line : SplitLines(answer)) {
        line = Trim(line);
        if (!line.starts_with("Breakpoint "))
            continue;
        const auto tokens = Tokens(line);
        if (tokens.size() < 3 || tokens[2] != "at")
            continue;
        int number = 0;
        const auto [end, ec] = std::from_chars(tokens[1].data(), tokens[1].data() + tokens[1].size(), number);
        if (ec == std::errc() && end == tokens[1].data() + tokens[1].size())
            return number;
    }
    return std::nullopt;
}

std::string FindErrorLine(std::string_view answer)
{
    for (std::string_view line : SplitLines(answer)) {
        line = Trim(line);
        if (line.starts_with("Parser error") || line.starts_with("Warning") || line.starts_with("Error")
            || line.starts_with("Unknown command") || line.find("is already set") != std::string_view::npos
            || line.starts_with("No breakpoint") || line.starts_with("Syntax error"))
            return std::string(line);
    }
    return {};
}

} // namespace m51dbg
