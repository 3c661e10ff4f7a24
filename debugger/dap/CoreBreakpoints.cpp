// The adapter's breakpoints: on lines of any source file, on functions and
// labels, on code addresses; each with an M51 or C condition and a hit count,
// in one table of code addresses that the run stops at.
#include "debugger/dap/CoreDebuggee.h"

#include "insight/LineStepper.h"

#include <charconv>
#include <cstdio>

namespace m51dap {

namespace {

std::optional<unsigned> ParseCount(std::string text)
{
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "5" and "== 5" (the fifth hit), ">= 5", "> 5", "% 5" (every fifth).
std::optional<std::pair<int, unsigned>> ParseHitCondition(const std::string& text)
{
    static const std::pair<const char*, int> ops[] = {{">=", 2}, {"==", 1}, {">", 3}, {"%", 4}, {"=", 1}};
    for (const auto& [prefix, op] : ops) {
        const size_t at = text.find_first_not_of(' ');
        if (at != std::string::npos && text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0) {
            const auto count = ParseCount(text.substr(at + std::char_traits<char>::length(prefix)));
            return count ? std::optional(std::pair{op, *count}) : std::nullopt;
        }
    }
    const auto count = ParseCount(text);
    return count ? std::optional(std::pair{1, *count}) : std::nullopt;
}

} // namespace

Json CoreDebuggee::makeBreakpoint(Breakpoint& breakpoint, int address, const Json& entry, std::string& message)
{
    breakpoint.id = nextBreakpointId_++;
    breakpoint.address = address;
    const std::string condition = entry.value("condition", std::string());
    const std::string hit = entry.value("hitCondition", std::string());
    if (!condition.empty() && isC()) {
        breakpoint.cCondition = condition;  // checked when first reached: its names depend on the place
    } else if (!condition.empty()) {
        const m51dbg::ConditionParse parsed = m51dbg::ParseCondition(condition, names_);
        if (!parsed.error.empty())
            message = "condition: " + parsed.error;
        breakpoint.condition = parsed.condition;
    }
    if (!hit.empty()) {
        if (const auto parsed = ParseHitCondition(hit))
            breakpoint.hit = {static_cast<HitCondition::Op>(parsed->first), parsed->second};
        else
            message = "hit count \"" + hit + "\" is not a number, \">= N\" or \"% N\"";
    }
    const bool verified = address >= 0 && message.empty();
    if (!verified)
        breakpoint.address = -1;
    Json out{{"id", breakpoint.id}, {"verified", verified}};
    if (!message.empty())
        out["message"] = message;
    if (address >= 0)
        out["instructionReference"] = "code:0x" + [&] {
            char text[16];
            std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(address) & 0xFFFF);
            return std::string(text);
        }();
    return out;
}

Reply CoreDebuggee::setBreakpoints(const Json& arguments)
{
    const Json source = arguments.value("source", Json::object());
    const std::string path = source.value("path", std::string());
    const int file = fileIndex(path);
    Json result = Json::array();
    std::vector<Breakpoint> placed;
    const Json asked = arguments.contains("breakpoints") && arguments["breakpoints"].is_array()
                           ? arguments["breakpoints"] : Json::array();
    for (const Json& entry : asked) {
        if (!entry.is_object())
            continue;
        const int wanted = entry.value("line", 0) - 1;
        // The line, or the first line with code after it in the same file.
        int line = -1;
        int address = -1;
        for (const toolchain::LineRange& range : program_.lines)
            if (range.file == file && range.line >= wanted && (line < 0 || range.line < line
                                                                || (range.line == line && range.address < address))) {
                line = range.line;
                address = range.address;
            }
        std::string message = file < 0  ? "this file is not a source of the program"
                              : line < 0 ? "no code at or after this line"
                                         : "";
        Breakpoint breakpoint;
        Json out = makeBreakpoint(breakpoint, message.empty() ? address : -1, entry, message);
        if (line >= 0) {
            out["line"] = line + 1;
            out["source"] = sourceOf(file);
        }
        result.push_back(out);
        placed.push_back(breakpoint);
    }
    if (file >= 0)
        lineBreakpoints_[file] = std::move(placed);
    breakpointRequests_["setBreakpoints " + path] = {"setBreakpoints", arguments};
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

Reply CoreDebuggee::setFunctionBreakpoints(const Json& arguments)
{
    Json result = Json::array();
    functionBreakpoints_.clear();
    breakpointRequests_["setFunctionBreakpoints"] = {"setFunctionBreakpoints", arguments};
    const auto labels = program_.codeLabels();
    for (const Json& entry : arguments.value("breakpoints", Json::array())) {
        if (!entry.is_object())
            continue;
        const std::string name = entry.value("name", std::string());
        int address = -1;
        for (const toolchain::Function& function : program_.functions)
            if (Lower(function.name) == Lower(name) || Lower(function.name) == "_" + Lower(name))
                address = function.start;
        for (const auto& [label, at] : labels)
            if (address < 0 && Lower(label) == Lower(name))
                address = at;
        std::string message = address < 0 ? "no procedure, label or function \"" + name + "\"" : "";
        Breakpoint breakpoint;
        result.push_back(makeBreakpoint(breakpoint, address, entry, message));
        functionBreakpoints_.push_back(breakpoint);
    }
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

Reply CoreDebuggee::setInstructionBreakpoints(const Json& arguments)
{
    Json result = Json::array();
    instructionBreakpoints_.clear();
    breakpointRequests_["setInstructionBreakpoints"] = {"setInstructionBreakpoints", arguments};
    for (const Json& entry : arguments.value("breakpoints", Json::array())) {
        if (!entry.is_object())
            continue;
        std::string reference = entry.value("instructionReference", std::string());
        if (reference.rfind("code:", 0) == 0)
            reference.erase(0, 5);
        long address = -1;
        try {
            size_t used = 0;
            address = std::stol(reference, &used, 0);
            if (used != reference.size())
                address = -1;
        } catch (const std::exception&) {
            address = -1;
        }
        if (address >= 0)
            address += entry.value("offset", 0);
        std::string message = address < 0 || address > 0xFFFF ? "not a code address: \"" + reference + "\"" : "";
        Breakpoint breakpoint;
        result.push_back(makeBreakpoint(breakpoint, message.empty() ? static_cast<int>(address) : -1, entry, message));
        instructionBreakpoints_.push_back(breakpoint);
    }
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

void CoreDebuggee::rebuildBreakpointTable()
{
    std::vector<uint8_t> table(0x10000, 0);
    auto mark = [&table](const std::vector<Breakpoint>& list) {
        for (const Breakpoint& b : list)
            if (b.address >= 0)
                table[static_cast<size_t>(b.address)] = 1;
    };
    for (const auto& [file, list] : lineBreakpoints_)
        mark(list);
    mark(functionBreakpoints_);
    mark(instructionBreakpoints_);
    isBreakpoint_.assign(table);
    if (stepper_)
        stepper_->breakpointsChanged();
}

// Every breakpoint at the address counts the hit when its condition holds;
// the program stops when one of them says so.
bool CoreDebuggee::breakpointStops(uint16_t address, std::vector<int>& hitIds)
{
    const m51dbg::ByteReader read = [this](m51dbg::WatchSpace space, unsigned a) { return readByte(space, a); };
    auto check = [&](std::vector<Breakpoint>& list) {
        for (Breakpoint& b : list) {
            if (b.address != address)
                continue;
            if (b.condition && !m51dbg::EvaluateCondition(*b.condition, read, address))
                continue;
            if (!b.cCondition.empty()) {
                const toolchain::CResult result = evaluateC(b.cCondition, here());
                const auto number = result.value ? toolchain::NumberOf(*result.value, program_, memory())
                                                 : std::nullopt;
                if (!number) {
                    // A condition that cannot be worked out stops, and says why.
                    emit("output", {{"category", "console"},
                                    {"output", "breakpoint condition \"" + b.cCondition + "\": "
                                                   + (result.error.empty() ? "not a number" : result.error) + "\n"}});
                } else if (*number == 0) {
                    continue;
                }
            }
            ++b.hits;
            bool stops = true;
            switch (b.hit.op) {
            case HitCondition::Op::None: break;
            case HitCondition::Op::Equal: stops = b.hits == b.hit.count; break;
            case HitCondition::Op::AtLeast: stops = b.hits >= b.hit.count; break;
            case HitCondition::Op::Greater: stops = b.hits > b.hit.count; break;
            case HitCondition::Op::Multiple: stops = b.hit.count == 0 || b.hits % b.hit.count == 0; break;
            }
            if (stops)
                hitIds.push_back(b.id);
        }
    };
    for (auto& [file, list] : lineBreakpoints_)
        check(list);
    check(functionBreakpoints_);
    check(instructionBreakpoints_);
    return !hitIds.empty();
}

} // namespace m51dap
