// Operands: splitting an operand list, DB strings and the form of each
// operand (registers, @Ri, #immediate, /bit, expressions).
#include "assembler/Context.h"
#include "assembler/Characters.h"

#include <cstring>

namespace m51asm {

namespace {

// The register (0-7, 8 for A) a name given to it with EQU earlier in the
// source stands for, or -1.
int NamedRegister(const Context& ctx, std::string_view name)
{
    if (name.empty() || !IsIdentStart(static_cast<unsigned char>(name[0])))
        return -1;
    const std::int32_t id = ctx.symbols.Find(name);
    if (id < 0 || ctx.symbols[id].kind != SymbolKind::Register || ctx.symbols[id].line <= 0)
        return -1;
    return ctx.symbols[id].value;
}

} // namespace

// The register of "R0".."R7", or -1.
int RegisterNumber(std::string_view s)
{
    if (s.size() == 2 && (s[0] == 'R' || s[0] == 'r') && s[1] >= '0' && s[1] <= '7')
        return s[1] - '0';
    return -1;
}

// Splits operands at the commas outside quotes and parentheses.
void SplitOperands(std::string_view text, std::vector<std::string_view>& out, bool escapes)
{
    out.clear();
    char quote = 0;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (escapes && c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth <= 0) {
            out.push_back(TrimBlanks(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    out.push_back(TrimBlanks(text.substr(start)));
}

// The characters of a quoted DB operand without its quotes, when the whole
// operand is one string.
bool WholeString(std::string_view op, std::string_view& inner, std::size_t& length)
{
    if (op.size() < 2 || (op[0] != '\'' && op[0] != '"'))
        return false;
    const char q = op[0];
    length = 0;
    for (std::size_t i = 1; i < op.size(); ++i) {
        if (op[i] != q) {
            ++length;
            continue;
        }
        if (i + 1 < op.size() && op[i + 1] == q) {
            ++i;
            ++length;
            continue;
        }
        if (i + 1 != op.size())
            return false;
        inner = op.substr(1, i - 1);
        return true;
    }
    return false;
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::size_t CommentStart(std::string_view line, bool escapes)
{
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (escapes && c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            return i;
        }
    }
    return line.size();
}

bool ClassifyOperand(Context& ctx, std::string_view text, std::int32_t row, Operand& op)
{
    if (text.empty()) {
        ctx.Error(row, "missing operand");
        return false;
    }
    if (text[0] == '@') {
        std::string compact;
        for (char c : text.substr(1))
            if (!IsBlank(c))
                compact += Upper(c);
        const int named = NamedRegister(ctx, TrimBlanks(text.substr(1)));
        if (compact == "R0" || compact == "R1" || named == 0 || named == 1) {
            op.mode = Mode::AtReg;
            op.reg = static_cast<std::uint8_t>(named >= 0 ? named : compact[1] - '0');
        } else if (compact == "DPTR") {
            op.mode = Mode::AtDptr;
        } else if (compact == "A+DPTR" || (ctx.rules.dotDirectives && compact == "DPTR+A")) {
            op.mode = Mode::AtADptr;
        } else if (compact == "A+PC" || (ctx.rules.dotDirectives && compact == "PC+A")) {
            op.mode = Mode::AtAPc;
        } else {
            ctx.Error(row, "bad indirect operand " + std::string(text) +
                                      " (@R0, @R1, @DPTR, @A+DPTR or @A+PC)");
            return false;
        }
        return true;
    }
    if (text[0] == '!' && ctx.rules.symbolOperators) {
        op.mode = Mode::NotBit;
        return ParseExpression(ctx, TrimBlanks(text.substr(1)), row, op.expr);
    }
    if (text[0] == '#' || text[0] == '/') {
        op.mode = text[0] == '#' ? Mode::Imm : Mode::NotBit;
        return ParseExpression(ctx, TrimBlanks(text.substr(1)), row, op.expr);
    }
    if (const int reg = RegisterNumber(text); reg >= 0) {
        op.mode = Mode::Reg;
        op.reg = static_cast<std::uint8_t>(reg);
        return true;
    }
    if (text.size() <= 4) {
        if (EqualsUpper(text, "A")) { op.mode = Mode::A; return true; }
        if (EqualsUpper(text, "C")) { op.mode = Mode::C; return true; }
        if (EqualsUpper(text, "AB")) { op.mode = Mode::AB; return true; }
        if (EqualsUpper(text, "DPTR")) { op.mode = Mode::Dptr; return true; }
    }
    if (const int v = NamedRegister(ctx, text); v >= 0) {
        op.mode = v == 8 ? Mode::A : Mode::Reg;
        op.reg = static_cast<std::uint8_t>(v & 7);
        return true;
    }
    op.mode = Mode::Expr;
    return ParseExpression(ctx, text, row, op.expr);
}

} // namespace m51asm
