#include "simrun/BreakConditions.h"

#include <cctype>

namespace m51dbg {

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct OpText {
    const char* text;
    BreakCondition::Op op;
};
// Two-character operators first, so "<=" is not read as "<".
constexpr OpText Ops[] = {
    {"==", BreakCondition::Op::Equal},     {"<>", BreakCondition::Op::NotEqual},
    {"!=", BreakCondition::Op::NotEqual},  {"<=", BreakCondition::Op::LessEqual},
    {">=", BreakCondition::Op::GreaterEqual}, {"=", BreakCondition::Op::Equal},
    {"<", BreakCondition::Op::Less},       {">", BreakCondition::Op::Greater},
};

// A side of the comparison: a number or a watch expression.
std::optional<WatchTarget> Operand(const std::string& text, const SourceNames& names, std::string& error)
{
    const bool number = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '\'');
    if (const auto value = number ? ParseWatchValue(text) : std::nullopt) {
        WatchTarget constant;
        constant.kind = WatchTarget::Kind::Constant;
        constant.value = *value;
        return constant;
    }
    if (number) {
        error = "'" + text + "' is not a number";
        return std::nullopt;
    }
    WatchParse parse = ParseWatch(text, names);
    if (!parse.target)
        error = parse.error;
    return parse.target;
}

} // namespace

ConditionParse ParseCondition(const std::string& text, const SourceNames& names)
{
    ConditionParse out;
    const std::string t = Trimmed(text);
    if (t.empty())
        return out;
    // The operator: the first comparison character outside brackets.
    size_t at = std::string::npos;
    int depth = 0;
    for (size_t i = 0; i < t.size() && at == std::string::npos; ++i) {
        const char c = t[i];
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        if (depth == 0 && (c == '=' || c == '<' || c == '>' || c == '!'))
            at = i;
    }
    BreakCondition condition;
    std::string left = t, right;
    if (at != std::string::npos) {
        const OpText* found = nullptr;
        for (const OpText& op : Ops)
            if (t.compare(at, std::char_traits<char>::length(op.text), op.text) == 0) {
                found = &op;
                break;
            }
        if (!found) {
            out.error = "\"" + t.substr(at, 1) + "\" is not a comparison (=, <>, <, >, <=, >=)";
            return out;
        }
        condition.op = found->op;
        left = Trimmed(t.substr(0, at));
        right = Trimmed(t.substr(at + std::char_traits<char>::length(found->text)));
        if (left.empty() || right.empty()) {
            out.error = "a value is missing on one side of \"" + std::string(found->text) + "\"";
            return out;
        }
    }
    std::string error;
    const auto l = Operand(left, names, error);
    if (!l) {
        out.error = error;
        return out;
    }
    condition.left = *l;
    if (condition.op != BreakCondition::Op::NonZero) {
        const auto r = Operand(right, names, error);
        if (!r) {
            out.error = error;
            return out;
        }
        condition.right = *r;
    }
    out.condition = condition;
    return out;
}

bool EvaluateCondition(const BreakCondition& condition, const ByteReader& read, uint16_t pc)
{
    const long left = ReadWatch(condition.left, read, pc);
    const long right = condition.op == BreakCondition::Op::NonZero ? 0 : ReadWatch(condition.right, read, pc);
    switch (condition.op) {
    case BreakCondition::Op::NonZero: return left != 0;
    case BreakCondition::Op::Equal: return left == right;
    case BreakCondition::Op::NotEqual: return left != right;
    case BreakCondition::Op::Less: return left < right;
    case BreakCondition::Op::Greater: return left > right;
    case BreakCondition::Op::LessEqual: return left <= right;
    case BreakCondition::Op::GreaterEqual: return left >= right;
    }
    return false;
}

} // namespace m51dbg
