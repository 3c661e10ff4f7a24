#include "board/BoardFile.h"

#include "common/ErrorCap.h"
#include "common/FileWrite.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

namespace board {

namespace {

struct Line {
    std::vector<std::string> words;             // positional, in order
    std::map<std::string, std::string> options; // key=value
    std::string duplicate;                      // an option given twice
    bool unclosedQuote = false;
};

// Words split at blanks; a value may be quoted: label="Start button".
Line Split(const std::string& text)
{
    Line line;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size() || text[i] == '#')
            break;
        std::string word;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
            if (text[i] == '"') {
                const size_t close = text.find('"', i + 1);
                if (close == std::string::npos) {
                    line.unclosedQuote = true;
                    return line;
                }
                word += text.substr(i + 1, close - i - 1);
                i = close + 1;
                continue;
            }
            word += text[i++];
        }
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) {
            line.words.push_back(word);
            continue;
        }
        std::string key = word.substr(0, eq);
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
        if (line.options.count(key))
            line.duplicate = key;
        line.options[key] = word.substr(eq + 1);
    }
    return line;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct Reader {
    Line line;
    std::string error;

    bool fail(std::string message)
    {
        if (error.empty())
            error = std::move(message);
        return false;
    }
    std::optional<std::vector<Pin>> pins(const std::string& text, const std::string& what)
    {
        auto pins = ParsePins(text);
        if (!pins)
            fail("'" + text + "' is not a pin list (P1, P1.3, P1.0-3) for " + what);
        return pins;
    }
    // An option's pins: `count` of them (0: any number).
    bool option(const char* key, std::vector<Pin>& out, size_t count, bool required = true)
    {
        auto it = line.options.find(key);
        if (it == line.options.end())
            return required ? fail(std::string("missing ") + key + "=") : true;
        auto p = pins(it->second, std::string(key) + "=");
        if (!p)
            return false;
        if (count && p->size() != count)
            return fail(std::string(key) + "= needs " + std::to_string(count) + " pins, not " + std::to_string(p->size()));
        out = *p;
        line.options.erase(it);
        return true;
    }
    bool onePin(const char* key, Pin& out, bool required = true)
    {
        std::vector<Pin> p;
        if (!line.options.count(key))
            return required ? fail(std::string("missing ") + key + "=") : false;
        if (!option(key, p, 1))
            return false;
        out = p[0];
        return true;
    }
    bool level(const char* key, bool& activeLow)
    {
        auto it = line.options.find(key);
        if (it == line.options.end())
            return true;
        const std::string v = Lower(it->second);
        if (v != "low" && v != "high")
            return fail(std::string(key) + "= is low or high, not '" + it->second + "'");
        activeLow = v == "low";
        line.options.erase(it);
        return true;
    }
    std::string take(const char* key)
    {
        auto it = line.options.find(key);
        if (it == line.options.end())
            return {};
        std::string v = it->second;
        line.options.erase(it);
        return v;
    }
};

bool Size(const std::string& text, unsigned& a, unsigned& b)
{
    const size_t x = Lower(text).find('x');
    if (x == std::string::npos)
        return false;
    const char* s = text.data();
    auto r1 = std::from_chars(s, s + x, a);
    auto r2 = std::from_chars(s + x + 1, s + text.size(), b);
    return r1.ec == std::errc() && r1.ptr == s + x && r2.ec == std::errc() && r2.ptr == s + text.size();
}

// The positional words of a simple part: pins, then low or high.
bool PinsAndLevel(Reader& r, PartSpec& part, bool one)
{
    const auto& w = r.line.words;
    if (w.size() < 2)
        return r.fail(std::string("missing the pin") + (one ? "" : "s"));
    auto pins = r.pins(w[1], w[0]);
    if (!pins)
        return false;
    if (one && pins->size() != 1)
        return r.fail(w[0] + " takes one pin" + (part.kind == PartKind::Led ? " (ledbar takes several)" : ""));
    part.pins = *pins;
    if (w.size() > 2) {
        const std::string v = Lower(w[2]);
        if (v != "low" && v != "high")
            return r.fail("the active level is low or high, not '" + w[2] + "'");
        part.activeLow = v == "low";
    }
    if (w.size() > 3)
        return r.fail("unexpected '" + w[3] + "'");
    return true;
}

bool ReadPart(Reader& r, PartSpec& part)
{
    const std::string kind = Lower(r.line.words[0]);
    const auto& w = r.line.words;
    part.label = r.take("label");
    if (kind == "led" || kind == "ledbar") {
        part.kind = kind == "led" ? PartKind::Led : PartKind::LedBar;
        return PinsAndLevel(r, part, kind == "led");
    }
    if (kind == "button" || kind == "switch") {
        part.kind = kind == "button" ? PartKind::Button : PartKind::Switch;
        part.key = r.take("key");
        return PinsAndLevel(r, part, true);
    }
    if (kind == "7seg") {
        part.kind = PartKind::SevenSeg;
        unsigned digits = 0;
        if (w.size() != 2 || std::from_chars(w[1].data(), w[1].data() + w[1].size(), digits).ptr != w[1].data() + w[1].size()
            || digits < 1 || digits > 8)
            return r.fail("7seg needs its number of digits, 1 to 8");
        part.digits = digits;
        part.activeLow = false;
        const bool multiplexed = r.line.options.count("sel");
        if (!r.option("sel", part.pins2, digits, false) || !r.option("seg", part.pins, multiplexed ? 8 : 8 * digits))
            return false;
        return r.level("seg-active", part.activeLow) && r.level("sel-active", part.selectActiveLow);
    }
    if (kind == "keypad") {
        part.kind = PartKind::Keypad;
        if (w.size() != 2 || !Size(w[1], part.columns, part.rows) || part.rows != 4 || (part.columns != 3 && part.columns != 4))
            return r.fail("keypad is 3x4 or 4x4");
        return r.option("rows", part.pins, 4) && r.option("cols", part.pins2, part.columns);
    }
    if (kind == "lcd") {
        part.kind = PartKind::Lcd;
        if (w.size() != 2 || !Size(w[1], part.columns, part.rows) || part.columns < 8 || part.columns > 40
            || (part.rows != 1 && part.rows != 2 && part.rows != 4) || part.columns * part.rows > 80)
            return r.fail("lcd needs its size, such as 16x2 or 20x4");
        if (!r.option("data", part.pins, 0))
            return false;
        if (part.pins.size() != 8 && part.pins.size() != 4)
            return r.fail("data= needs 8 pins (D0-D7) or 4 (D4-D7)");
        if (!r.onePin("rs", part.rs) || !r.onePin("e", part.e))
            return false;
        part.hasRw = r.line.options.count("rw");
        if (part.hasRw && !r.onePin("rw", part.rw))
            return false;
        const std::string osc = r.take("osc");
        if (!osc.empty()) {
            char* end = nullptr;
            part.oscHz = std::strtod(osc.c_str(), &end);
            if (*end == 'k' || *end == 'K')
                part.oscHz *= 1000, ++end;
            if (*end || !std::isfinite(part.oscHz) || part.oscHz < 50000 || part.oscHz > 1000000)
                return r.fail("osc= is the controller's oscillator in Hz, 50000 to 1000000");
        }
        return true;
    }
    if (kind == "trace") {
        part.kind = PartKind::Trace;
        for (size_t i = 1; i < w.size(); ++i) {
            auto pins = r.pins(w[i], "trace");
            if (!pins)
                return false;
            part.pins.insert(part.pins.end(), pins->begin(), pins->end());
        }
        if (part.pins.empty() || part.pins.size() > 8)
            return r.fail("trace takes 1 to 8 pins");
        return true;
    }
    return r.fail("unknown part '" + w[0] + "' (led, ledbar, button, switch, 7seg, keypad, lcd, trace)");
}

bool DistinctPins(const PartSpec& part)
{
    std::vector<Pin> all = part.pins;
    all.insert(all.end(), part.pins2.begin(), part.pins2.end());
    if (part.kind == PartKind::Lcd) {
        all.push_back(part.rs);
        all.push_back(part.e);
        if (part.hasRw)
            all.push_back(part.rw);
    }
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size(); ++j)
            if (all[i] == all[j])
                return false;
    return true;
}

// Quoted where the reader would split or end the word: at any blank it
// knows (also 0BH and 0CH) and at a comment sign.
std::string Quoted(const std::string& value)
{
    const bool plain = !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
        return c == '#' || std::isspace(static_cast<unsigned char>(c));
    });
    return plain ? value : "\"" + value + "\"";
}

std::string Level(bool activeLow)
{
    return activeLow ? "low" : "high";
}

} // namespace

const char* PartKeyword(PartKind kind)
{
    switch (kind) {
    case PartKind::Led: return "led";
    case PartKind::LedBar: return "ledbar";
    case PartKind::Button: return "button";
    case PartKind::Switch: return "switch";
    case PartKind::SevenSeg: return "7seg";
    case PartKind::Keypad: return "keypad";
    case PartKind::Lcd: return "lcd";
    case PartKind::Trace: return "trace";
    }
    return "";
}

BoardParse ParseBoard(const std::string& text)
{
    BoardParse result;
    // Messages quote the file's words without control bytes; of one kind of
    // error only the first hundred are listed.
    m51::ErrorCap cap;
    auto error = [&](int line, const std::string& message) {
        const std::string quoted = m51::quoteForMessage(message, 200);
        if (cap.admit({}, quoted))
            result.errors.push_back({line, quoted});
    };
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        Reader r{Split(raw), {}};
        if (r.line.unclosedQuote) {
            error(number, "a quote is not closed");
            continue;
        }
        if (r.line.words.empty()) {
            if (!r.line.options.empty())
                error(number, "a part begins with its kind (led, button, 7seg, lcd, ...)");
            continue;
        }
        PartSpec part;
        part.line = number;
        if (!r.line.duplicate.empty())
            r.fail(r.line.duplicate + "= is given twice");
        else if (ReadPart(r, part) && !r.line.options.empty())
            r.fail("unknown option " + r.line.options.begin()->first + "= for " + r.line.words[0]);
        if (r.error.empty() && !DistinctPins(part))
            r.fail("a pin is used twice in this part");
        if (!r.error.empty()) {
            error(number, r.error);
            continue;
        }
        result.board.parts.push_back(std::move(part));
    }
    for (const std::string& more : cap.summary())
        result.errors.push_back({0, more});
    return result;
}

std::string FormatPart(const PartSpec& p)
{
    std::string out = PartKeyword(p.kind);
    switch (p.kind) {
    case PartKind::Led:
    case PartKind::LedBar:
        out += " " + FormatPins(p.pins) + " " + Level(p.activeLow);
        break;
    case PartKind::Button:
    case PartKind::Switch:
        out += " " + FormatPins(p.pins) + " " + Level(p.activeLow);
        if (!p.key.empty())
            out += " key=" + Quoted(p.key);
        break;
    case PartKind::SevenSeg:
        out += " " + std::to_string(p.digits) + " seg=" + FormatPins(p.pins);
        if (!p.pins2.empty())
            out += " sel=" + FormatPins(p.pins2);
        out += " seg-active=" + Level(p.activeLow);
        if (!p.pins2.empty())
            out += " sel-active=" + Level(p.selectActiveLow);
        break;
    case PartKind::Keypad:
        out += " " + std::to_string(p.columns) + "x4 rows=" + FormatPins(p.pins) + " cols=" + FormatPins(p.pins2);
        break;
    case PartKind::Lcd: {
        out += " " + std::to_string(p.columns) + "x" + std::to_string(p.rows) + " data=" + FormatPins(p.pins)
            + " rs=" + FormatPin(p.rs);
        if (p.hasRw)
            out += " rw=" + FormatPin(p.rw);
        out += " e=" + FormatPin(p.e);
        if (p.oscHz != 270000.0) {
            char osc[32];
            std::snprintf(osc, sizeof osc, "%.0f", p.oscHz);
            out += std::string(" osc=") + osc;
        }
        break;
    }
    case PartKind::Trace:
        for (const Pin& pin : p.pins)
            out += " " + FormatPin(pin);
        break;
    }
    if (!p.label.empty())
        out += " label=" + Quoted(p.label);
    return out;
}

std::string FormatBoard(const BoardDescription& board)
{
    std::string out;
    for (const auto& part : board.parts)
        out += FormatPart(part) + "\n";
    return out;
}

} // namespace board
