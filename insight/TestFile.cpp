#include "insight/TestFile.h"
#include "simrun/PathNames.h"

#include "simrun/LinePlace.h"

#include "sim/Chip.h"
#include "common/ErrorCap.h"
#include "common/FileWrite.h"

#include <cctype>
#include <charconv>
#include <tuple>

namespace insight {

namespace {

using m51sim::Lower;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The first word and the rest, trimmed.
std::pair<std::string, std::string_view> Split(std::string_view s)
{
    s = Trim(s);
    size_t end = 0;
    while (end < s.size() && s[end] != ' ' && s[end] != '\t')
        ++end;
    return {std::string(s.substr(0, end)), Trim(s.substr(end))};
}

std::optional<uint64_t> Decimal(std::string_view text)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// 05, 2C, 0FAH, 0x1F: hexadecimal as m51sim prints values.
std::optional<unsigned> Hex(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H'))
        text.remove_suffix(1);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 0xFFFF)
        return std::nullopt;
    return value;
}

// P3.2 (P0-P3, bits 0-7).
std::optional<PinLevel> Pin(std::string_view text)
{
    if (text.size() != 4 || (text[0] != 'P' && text[0] != 'p') || text[1] < '0' || text[1] > '3' || text[2] != '.'
        || text[3] < '0' || text[3] > '7')
        return std::nullopt;
    return PinLevel{static_cast<unsigned>(text[1] - '0'), static_cast<unsigned>(text[3] - '0'), -1};
}

std::optional<int> Level(std::string_view text)
{
    if (text == "0")
        return 0;
    if (text == "1")
        return 1;
    if (Lower(std::string(text)) == "released")
        return -1;
    return std::nullopt;
}

// "ITEM = VALUE": the item and value, or the reason.
struct Assignment {
    std::string left, right;
};
std::optional<Assignment> SplitAt(std::string_view text, std::string_view separator)
{
    const size_t at = text.find(separator);
    if (at == std::string_view::npos)
        return std::nullopt;
    return Assignment{std::string(Trim(text.substr(0, at))), std::string(Trim(text.substr(at + separator.size())))};
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Absolute(const std::string& path)
{
    return !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

// The words of a `program` line naming several C sources; empty when it
// names one file (whose name may hold blanks).
std::vector<std::string> CSources(std::string_view text)
{
    std::vector<std::string> words;
    for (auto [word, rest] = Split(text); !word.empty(); std::tie(word, rest) = Split(rest)) {
        const std::string lower = Lower(word);
        if (lower.size() < 3 || lower.compare(lower.size() - 2, 2, ".c") != 0)
            return {};
        words.push_back(word);
    }
    return words.size() > 1 ? words : std::vector<std::string>{};
}

struct Parser {
    TestFile& test;
    const m51sim::FileReader& readFile;
    bool boards;
    m51sim::FileOpener openFile;
    int line = 0;
    m51::ErrorCap cap{};

    // The message may quote the file: without its control bytes, cut when
    // long; of one kind of mistake the first hundred are listed.
    void fail(const std::string& message)
    {
        const std::string quoted = m51::quoteForMessage(message);
        if (cap.admit({}, quoted))
            test.errors.push_back(test.path + ':' + std::to_string(line) + ": " + quoted);
    }
    std::string resolve(const std::string& path) const { return Absolute(path) ? path : Folder(test.path) + path; }

    // "ITEM = VALUE" with the item in m51sim's --print form.
    bool itemValue(std::string_view text, m51sim::PrintItem& item, unsigned& value, std::string& expected,
                   bool cValues = false)
    {
        const auto parts = SplitAt(text, "=");
        if (!parts) {
            fail("expected ITEM = VALUE");
            return false;
        }
        const auto parsed = m51sim::ParsePrintItem(parts->left);
        if (!parsed && cValues && !parts->left.empty() && !parts->right.empty()) {
            // A C expression: the program tells whether it is C (see ParseTestFile).
            item = m51sim::PrintItem{parts->left, m51sim::PrintItem::Kind::CExpression, {}, 0};
            expected = parts->right;
            return true;
        }
        // The board's displays are no register values: `check lcd = TEXT` reads the LCD.
        if (!parsed || parsed->kind == m51sim::PrintItem::Kind::Lcd || parsed->kind == m51sim::PrintItem::Kind::SevenSeg) {
            fail("unknown register or address \"" + parts->left + "\"");
            return false;
        }
        const auto number = Hex(parts->right);
        if (!number && cValues && parsed->kind == m51sim::PrintItem::Kind::Register) {
            // A C variable named like a register (a, r7), with a C value.
            item = m51sim::PrintItem{parts->left, m51sim::PrintItem::Kind::CExpression, {}, 0};
            expected = parts->right;
            return true;
        }
        if (!number) {
            fail("\"" + parts->right + "\" is not a hexadecimal value");
            return false;
        }
        item = *parsed;
        value = *number;
        expected = parts->right;
        return true;
    }

    // "N" or "FILE:N" after `until line`, `when line`, `check line`.
    std::optional<int> linePlace(std::string_view text, std::string& file)
    {
        const auto place = m51sim::ParseLinePlace(text);
        if (!place)
            return std::nullopt;
        file = place->file;
        return place->line;
    }

    void pin(std::string_view rest)
    {
        // P3.2 = LEVEL at CYCLE | when line N | when ITEM = VALUE
        const auto [name, afterName] = Split(rest);
        const auto pinName = Pin(name);
        if (!pinName)
            return fail("\"" + name + "\" is not a pin (P0.0 to P3.7)");
        std::string_view s = afterName;
        if (s.empty() || s[0] != '=')
            return fail("expected pin = LEVEL");
        const auto [levelText, trigger] = Split(s.substr(1));
        const auto level = Level(levelText);
        if (!level)
            return fail("the level is 0, 1 or released, not \"" + levelText + "\"");
        PinChange change;
        change.pin = *pinName;
        change.pin.level = *level;
        change.line = line;
        const auto [word, condition] = Split(trigger);
        if (word == "at") {
            const auto cycle = Decimal(condition);
            if (!cycle)
                return fail("expected a machine cycle after \"at\"");
            change.when = PinChange::When::AtCycle;
            change.cycle = *cycle;
        } else if (word == "when") {
            const auto [first, number] = Split(condition);
            if (first == "line") {
                const auto n = linePlace(number, change.sourceFile);
                if (!n)
                    return fail("expected a line number after \"when line\"");
                change.when = PinChange::When::AtLine;
                change.sourceLine = *n;
            } else {
                change.when = PinChange::When::OnValue;
                std::string expected;
                if (!itemValue(condition, change.item, change.value, expected))
                    return;
            }
        } else {
            return fail("expected \"at CYCLE\" or \"when ...\" after the level");
        }
        test.pins.push_back(change);
    }

    void check(std::string_view rest)
    {
        Check check;
        check.line = line;
        const auto [word, after] = Split(rest);
        const std::string key = Lower(word);
        if (key == "pin") {
            const auto parts = SplitAt(after, "=");
            const auto pinName = parts ? Pin(parts->left) : std::nullopt;
            const auto level = parts ? Level(parts->right) : std::nullopt;
            if (!pinName || !level || *level < 0)
                return fail("expected check pin Px.y = 0 or 1");
            check.kind = Check::Kind::Pin;
            check.pin = *pinName;
            check.value = static_cast<unsigned>(*level);
        } else if (key == "serial" || key == "lcd") {
            std::string_view text = after;
            check.kind = key == "lcd" ? Check::Kind::Lcd : Check::Kind::SerialEquals;
            if (key == "serial" && Split(text).first == "contains") {
                check.kind = Check::Kind::SerialContains;
                text = Split(text).second;
            } else if (!text.empty() && text[0] == '=') {
                text = Trim(text.substr(1));
            } else {
                return fail("expected check " + key + " = TEXT" + (key == "serial" ? " or check serial contains TEXT" : ""));
            }
            if (key == "lcd" && !boards)
                return fail("LCD checks need a build with virtual boards");
            const auto bytes = m51sim::Unescape(text);
            if (!bytes)
                return fail("malformed escape in \"" + std::string(text) + "\"");
            check.text = *bytes;
        } else if (key == "line") {
            const auto [number, state] = Split(after);
            const auto n = linePlace(number, check.sourceFile);
            const std::string how = Lower(std::string(state));
            if (!n || (how != "reached" && how != "not reached"))
                return fail("expected check line N reached or check line N not reached");
            check.kind = how == "reached" ? Check::Kind::Reached : Check::Kind::NotReached;
            check.sourceLine = *n;
        } else if (key == "cycles") {
            const auto parts = SplitAt(after, "<=");
            const auto n = parts && parts->left.empty() ? Decimal(parts->right) : std::nullopt;
            if (!n)
                return fail("expected check cycles <= N");
            check.kind = Check::Kind::CyclesAtMost;
            check.cycles = *n;
        } else {
            check.kind = Check::Kind::Value;
            if (!itemValue(rest, check.item, check.value, check.expected, true))
                return;
        }
        test.checks.push_back(check);
    }

    void directive(std::string_view text)
    {
        const auto [word, rest] = Split(text);
        const std::string key = Lower(word);
        const std::string value(rest);
        if (key == "program") {
            if (value.empty())
                return fail("program needs a file");
            if (!test.program.empty())
                return fail("a test runs one program");
            const std::vector<std::string> sources = CSources(value);
            test.program = resolve(sources.empty() ? value : sources.front());
            for (size_t i = 1; i < sources.size(); ++i)
                test.moreSources.push_back(resolve(sources[i]));
            test.programLine = line;
        } else if (key == "chip") {
            if (!sim::findChip(value))
                return fail("unknown chip \"" + value + "\"");
            test.chip = value;
        } else if (key == "board") {
            if (!boards)
                return fail("boards need a build with virtual boards");
            if (value.empty())
                return fail("board needs a file");
            test.board = resolve(value);
            test.boardLine = line;
        } else if (key == "xtal" || key == "limit") {
            const auto n = Decimal(rest);
            if (!n || *n == 0)
                return fail(key + " needs a positive number");
            if (key == "xtal")
                test.xtal = static_cast<double>(*n);
            else
                test.limit = *n;
        } else if (key == "until") {
            const auto [lineWord, number] = Split(rest);
            const auto n = linePlace(number, test.untilFile);
            if (lineWord != "line" || !n)
                return fail("expected until line N");
            test.untilLine = *n;
            test.untilAt = line;
        } else if (key == "send" || key == "expect") {
            const auto bytes = m51sim::Unescape(rest);
            if (!bytes || bytes->empty())
                return fail(key + " needs text (escapes \\r \\n \\t \\\\ \\xNN)");
            test.script.push_back({key == "send" ? m51sim::ScriptCommand::Kind::Send : m51sim::ScriptCommand::Kind::Expect,
                                   *bytes, 0, line, {}});
        } else if (key == "sendfile") {
            std::string why;
            auto file = value.empty() ? std::nullopt : openFile(resolve(value), why);
            if (!file)
                return fail(value.empty() ? "sendfile needs a file" : "cannot read " + value + ": " + why);
            test.script.push_back({m51sim::ScriptCommand::Kind::Send, {}, 0, line, std::move(*file)});
        } else if (key == "wait") {
            const auto n = Decimal(rest);
            if (!n)
                return fail("wait needs a number of machine cycles");
            test.script.push_back({m51sim::ScriptCommand::Kind::Wait, {}, *n, line, {}});
        } else if (key == "pin") {
            pin(rest);
        } else if (key == "check") {
            check(rest);
        } else {
            fail("unknown directive \"" + word + "\"");
        }
    }
};

} // namespace

TestFile ParseTestFile(std::string_view text, const std::string& path, const m51sim::FileReader& readFile, bool boards,
                       const m51sim::FileOpener& openFile)
{
    TestFile test;
    test.path = path;
    const size_t slash = path.find_last_of("/\\");
    test.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (const size_t dot = test.name.rfind('.'); dot != std::string::npos && dot > 0)
        test.name.erase(dot);
    Parser parser{test, readFile, boards, openFile ? openFile : m51sim::WholeFiles(readFile)};
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        ++parser.line;
        const std::string_view line = Trim(text.substr(at, end - at));
        if (!line.empty() && line[0] != '#')
            parser.directive(line);
        at = end + 1;
    }
    if (test.program.empty()) {
        parser.line = 1;
        parser.fail("no program line: a test names the program it runs");
    }
    // C names are for C programs (and images with SDCC's debug information).
    const std::string extension = Lower(test.program.substr(std::min(test.program.size(), test.program.find_last_of('.'))));
    const bool mayBeC = extension == ".c" || extension == ".m51proj" || extension == ".hex" || extension == ".ihx";
    for (const Check& check : test.checks)
        if (check.item.kind == m51sim::PrintItem::Kind::CExpression && !mayBeC) {
            parser.line = check.line;
            parser.fail(m51sim::ParsePrintItem(check.item.text)
                            ? "\"" + check.expected + "\" is not a hexadecimal value"
                            : "unknown register or address \"" + check.item.text + "\"");
        }
    for (const std::string& more : parser.cap.summary())
        test.errors.push_back(test.path + ": " + more);
    return test;
}

} // namespace insight
