// Expressions: numbers in every ASM51 radix, characters, symbols, $ and the
// operators, parsed into postfix steps once and evaluated in every pass.
//
// Precedence, loosest first: OR XOR, AND, NOT, the relations (EQ NE LT LE GT
// GE, = <> < <= > >=: all ones when true), binary + -, * / MOD SHL SHR,
// unary + - HIGH LOW, the bit selector "." (P1.0, 20H.3), then operands and
// parentheses. Arithmetic is 32-bit two's complement; ranges are checked
// where a value is used.
#include "Context.h"
#include "Characters.h"

#include <cstring>

namespace m51asm {

namespace {

constexpr int kMaxDepth = 64;

inline unsigned char Upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

enum class Tok { End, Number, Ident, Here, LParen, RParen, Plus, Minus, Star, Slash, Dot, Bad,
                 Mod, And, Or, Xor, Not, Shl, Shr, High, Low, Eq, Ne, Lt, Le, Gt, Ge };

struct Token {
    Tok kind = Tok::End;
    std::int32_t value = 0;
    std::string_view text;
};

bool IsBinary(std::string_view s)
{
    for (char c : s)
        if (c != '0' && c != '1')
            return false;
    return !s.empty();
}

// Value of a number token; false with a message when malformed.
bool NumberValue(std::string_view t, std::int32_t& value, std::string& problem, const DialectRules& rules)
{
    const unsigned char last = Upper(static_cast<unsigned char>(t.back()));
    unsigned radix = 10;
    std::string_view digits = t;
    const bool prefixed = rules.cPrefixes && t.size() > 2 && t[0] == '0';
    if (prefixed && (t[1] == 'x' || t[1] == 'X')) {
        radix = 16;
        digits.remove_prefix(2);
        if (rules.prefixAndSuffix && last == 'H' && digits.size() > 1)
            digits.remove_suffix(1);
    } else if (prefixed && (t[1] == 'b' || t[1] == 'B') && IsBinary(t.substr(2))) {
        radix = 2;
        digits.remove_prefix(2);
    } else if (last == 'H') {
        radix = 16;
        digits.remove_suffix(1);
    } else if (last == 'B') {
        radix = 2;
        digits.remove_suffix(1);
    } else if (last == 'O' || last == 'Q') {
        radix = 8;
        digits.remove_suffix(1);
    } else if (last == 'D') {
        digits.remove_suffix(1);
    }
    if (digits.empty()) {
        problem = "bad number " + std::string(t);
        return false;
    }
    std::uint64_t v = 0;
    for (unsigned char c : digits) {
        c = Upper(c);
        unsigned d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d >= radix) {
            problem = "bad number " + std::string(t);
            return false;
        }
        v = v * radix + d;
        if (v > 0xFFFFFFFFu) {
            problem = "number " + std::string(t) + " is too large";
            return false;
        }
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
}

Tok OperatorWord(std::string_view w)
{
    if (w.size() < 2 || w.size() > 4)
        return Tok::Ident;
    char u[5] = {};
    for (std::size_t i = 0; i < w.size(); ++i)
        u[i] = static_cast<char>(Upper(static_cast<unsigned char>(w[i])));
    struct Word { const char* name; Tok tok; };
    static constexpr Word kWords[] = {{"MOD", Tok::Mod}, {"AND", Tok::And}, {"OR", Tok::Or},   {"XOR", Tok::Xor},
                                      {"NOT", Tok::Not}, {"SHL", Tok::Shl}, {"SHR", Tok::Shr}, {"HIGH", Tok::High},
                                      {"LOW", Tok::Low}, {"EQ", Tok::Eq},   {"NE", Tok::Ne},   {"LT", Tok::Lt},
                                      {"LE", Tok::Le},   {"GT", Tok::Gt},   {"GE", Tok::Ge}};
    for (const Word& word : kWords)
        if (std::strcmp(u, word.name) == 0)
            return word.tok;
    return Tok::Ident;
}

class Parser {
public:
    Parser(Context& ctx, std::string_view text, std::int32_t line) : m_ctx(ctx), m_text(text), m_line(line)
    {
        Next();
    }

    bool Run()
    {
        if (m_tok.kind == Tok::End)
            return Fail("missing expression");
        if (!ParseOr(0))
            return false;
        if (m_tok.kind != Tok::End)
            return Fail("unexpected \"" + std::string(m_tok.text) + "\" in expression");
        return true;
    }

private:
    bool Fail(std::string message)
    {
        if (!m_failed)
            m_ctx.Error(m_line, std::move(message));
        m_failed = true;
        return false;
    }

    void Emit(Op op, std::int32_t value = 0) { m_ctx.exprOps.push_back({op, value}); }

    void Next()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
        m_tok = Token{};
        if (m_pos >= m_text.size())
            return;
        const std::size_t start = m_pos;
        const auto c = static_cast<unsigned char>(m_text[m_pos]);
        if (c >= '0' && c <= '9') {
            while (m_pos < m_text.size() && IsIdentChar(static_cast<unsigned char>(m_text[m_pos])))
                ++m_pos;
            m_tok.kind = Tok::Number;
            m_tok.text = m_text.substr(start, m_pos - start);
            std::string problem;
            if (!NumberValue(m_tok.text, m_tok.value, problem, m_ctx.rules)) {
                Fail(problem);
                m_tok.kind = Tok::Bad;
            }
            return;
        }
        if (IsIdentStart(c)) {
            while (m_pos < m_text.size() && IsIdentChar(static_cast<unsigned char>(m_text[m_pos])))
                ++m_pos;
            m_tok.text = m_text.substr(start, m_pos - start);
            m_tok.kind = m_ctx.rules.symbolOperators ? Tok::Ident : OperatorWord(m_tok.text);
            return;
        }
        if (c == '\'' || c == '"') {
            std::uint32_t value = 0;
            int count = 0;
            ++m_pos;
            bool closed = false;
            const bool escapes = m_ctx.rules.backslashEscapes;
            while (m_pos < m_text.size()) {
                if (escapes && m_text[m_pos] == '\\' && m_pos + 1 < m_text.size()) {
                    value = (value << 8) | static_cast<unsigned char>(EscapedChar(m_text[++m_pos]));
                    ++count;
                    ++m_pos;
                    continue;
                }
                if (static_cast<unsigned char>(m_text[m_pos]) == c) {
                    if (!escapes && m_pos + 1 < m_text.size() && static_cast<unsigned char>(m_text[m_pos + 1]) == c) {
                        ++m_pos;
                    } else {
                        ++m_pos;
                        closed = true;
                        break;
                    }
                }
                value = (value << 8) | static_cast<unsigned char>(m_text[m_pos]);
                ++count;
                ++m_pos;
            }
            m_tok.text = m_text.substr(start, m_pos - start);
            if (!closed) {
                Fail("unterminated string");
                m_tok.kind = Tok::Bad;
            } else if (count < 1 || count > 2) {
                Fail("a string in an expression must have one or two characters");
                m_tok.kind = Tok::Bad;
            } else {
                m_tok.kind = Tok::Number;
                m_tok.value = static_cast<std::int32_t>(value);
            }
            return;
        }
        ++m_pos;
        m_tok.text = m_text.substr(start, 1);
        switch (c) {
        case '$': m_tok.kind = Tok::Here; break;
        case '(': m_tok.kind = Tok::LParen; break;
        case ')': m_tok.kind = Tok::RParen; break;
        case '+': m_tok.kind = Tok::Plus; break;
        case '-': m_tok.kind = Tok::Minus; break;
        case '*': m_tok.kind = Tok::Star; break;
        case '/': m_tok.kind = Tok::Slash; break;
        case '.': m_tok.kind = Tok::Dot; break;
        case '&': m_tok.kind = m_ctx.rules.symbolOperators ? Tok::And : Tok::Bad; break;
        case '|': m_tok.kind = m_ctx.rules.symbolOperators ? Tok::Or : Tok::Bad; break;
        case '%': m_tok.kind = m_ctx.rules.symbolOperators ? Tok::Mod : Tok::Bad; break;
        case '=': m_tok.kind = Tok::Eq; break;
        case '<':
        case '>': {
            const char n = m_pos < m_text.size() ? m_text[m_pos] : 0;
            if (c == '<' && n == '>') {
                m_tok.kind = Tok::Ne;
            } else if (n == '=') {
                m_tok.kind = c == '<' ? Tok::Le : Tok::Ge;
            } else {
                m_tok.kind = c == '<' ? Tok::Lt : Tok::Gt;
                break;
            }
            ++m_pos;
            m_tok.text = m_text.substr(start, 2);
            break;
        }
        default: m_tok.kind = Tok::Bad; break;
        }
        if (m_tok.kind == Tok::Bad)
            Fail("unexpected character \"" + std::string(m_tok.text) + "\"");
    }

    bool Deeper(int depth) { return depth < kMaxDepth || Fail("expression nested too deeply"); }

    // as31: + - loosest, then * / %, then & and | alike, then unary minus.
    bool ParseSum(int depth)
    {
        if (!Deeper(depth) || !ParseProduct(depth + 1))
            return false;
        while (m_tok.kind == Tok::Plus || m_tok.kind == Tok::Minus) {
            const Op op = m_tok.kind == Tok::Plus ? Op::Add : Op::Sub;
            Next();
            if (!ParseProduct(depth + 1))
                return false;
            Emit(op);
        }
        return true;
    }

    bool ParseProduct(int depth)
    {
        if (!ParseBits(depth + 1))
            return false;
        for (;;) {
            const Op op = m_tok.kind == Tok::Star ? Op::Mul : m_tok.kind == Tok::Slash ? Op::Div
                        : m_tok.kind == Tok::Mod  ? Op::Mod : Op::Number;
            if (op == Op::Number)
                return true;
            Next();
            if (!ParseBits(depth + 1))
                return false;
            Emit(op);
        }
    }

    bool ParseBits(int depth)
    {
        if (!ParseUnary(depth + 1))
            return false;
        while (m_tok.kind == Tok::And || m_tok.kind == Tok::Or) {
            const Op op = m_tok.kind == Tok::And ? Op::And : Op::Or;
            Next();
            if (!ParseUnary(depth + 1))
                return false;
            Emit(op);
        }
        return true;
    }

    bool ParseOr(int depth)
    {
        if (m_ctx.rules.symbolOperators)
            return ParseSum(depth);
        if (!Deeper(depth) || !ParseAnd(depth + 1))
            return false;
        while (m_tok.kind == Tok::Or || m_tok.kind == Tok::Xor) {
            const Op op = m_tok.kind == Tok::Or ? Op::Or : Op::Xor;
            Next();
            if (!ParseAnd(depth + 1))
                return false;
            Emit(op);
        }
        return true;
    }

    bool ParseAnd(int depth)
    {
        if (!ParseNot(depth + 1))
            return false;
        while (m_tok.kind == Tok::And) {
            Next();
            if (!ParseNot(depth + 1))
                return false;
            Emit(Op::And);
        }
        return true;
    }

    bool ParseNot(int depth)
    {
        if (!Deeper(depth))
            return false;
        if (m_tok.kind == Tok::Not) {
            Next();
            if (!ParseNot(depth + 1))
                return false;
            Emit(Op::Not);
            return true;
        }
        return ParseRelation(depth + 1);
    }

    bool ParseRelation(int depth)
    {
        if (!ParseAdd(depth + 1))
            return false;
        for (;;) {
            Op op;
            switch (m_tok.kind) {
            case Tok::Eq: op = Op::Eq; break;
            case Tok::Ne: op = Op::Ne; break;
            case Tok::Lt: op = Op::Lt; break;
            case Tok::Le: op = Op::Le; break;
            case Tok::Gt: op = Op::Gt; break;
            case Tok::Ge: op = Op::Ge; break;
            default: return true;
            }
            Next();
            if (!ParseAdd(depth + 1))
                return false;
            Emit(op);
        }
    }

    bool ParseAdd(int depth)
    {
        if (!ParseMul(depth + 1))
            return false;
        while (m_tok.kind == Tok::Plus || m_tok.kind == Tok::Minus) {
            const Op op = m_tok.kind == Tok::Plus ? Op::Add : Op::Sub;
            Next();
            if (!ParseMul(depth + 1))
                return false;
            Emit(op);
        }
        return true;
    }

    bool ParseMul(int depth)
    {
        if (!ParseUnary(depth + 1))
            return false;
        for (;;) {
            Op op;
            switch (m_tok.kind) {
            case Tok::Star: op = Op::Mul; break;
            case Tok::Slash: op = Op::Div; break;
            case Tok::Mod: op = Op::Mod; break;
            case Tok::Shl: op = Op::Shl; break;
            case Tok::Shr: op = Op::Shr; break;
            default: return true;
            }
            Next();
            if (!ParseUnary(depth + 1))
                return false;
            Emit(op);
        }
    }

    bool ParseUnary(int depth)
    {
        if (!Deeper(depth))
            return false;
        Op op;
        switch (m_tok.kind) {
        case Tok::Plus: Next(); return ParseUnary(depth + 1);
        case Tok::Minus: op = Op::Neg; break;
        case Tok::High: op = Op::High; break;
        case Tok::Low: op = Op::Low; break;
        default: return ParseDot(depth + 1);
        }
        Next();
        if (!ParseUnary(depth + 1))
            return false;
        Emit(op);
        return true;
    }

    bool ParseDot(int depth)
    {
        if (!ParsePrimary(depth + 1))
            return false;
        while (m_tok.kind == Tok::Dot) {
            Next();
            if (!ParsePrimary(depth + 1))
                return false;
            Emit(Op::BitOf);
        }
        return true;
    }

    bool ParsePrimary(int depth)
    {
        if (!Deeper(depth))
            return false;
        switch (m_tok.kind) {
        case Tok::Number: Emit(Op::Number, m_tok.value); Next(); return true;
        case Tok::Here: Emit(Op::Here); Next(); return true;
        case Tok::Star:
            if (!m_ctx.rules.symbolOperators)
                return Fail("unexpected \"*\" in expression");
            Emit(Op::Here);  // as31's location counter
            Next();
            return true;
        case Tok::Ident: {
            const std::int32_t id = m_ctx.symbols.Intern(m_tok.text);
            m_ctx.symbols[id].referenced = true;
            if (m_ctx.xref)
                m_ctx.references.push_back({id, m_line});
            Emit(Op::Symbol, id);
            Next();
            return true;
        }
        case Tok::LParen:
            Next();
            if (!ParseOr(depth + 1))
                return false;
            if (m_tok.kind != Tok::RParen)
                return Fail("missing \")\"");
            Next();
            return true;
        case Tok::End: return Fail("expression ends too early");
        case Tok::Bad: return false;
        default: return Fail("unexpected \"" + std::string(m_tok.text) + "\" in expression");
        }
    }

    Context& m_ctx;
    std::string_view m_text;
    std::int32_t m_line;
    std::size_t m_pos = 0;
    Token m_tok;
    bool m_failed = false;
};

} // namespace

// The character a backslash escape stands for: \n \r \t \b \0, any other
// character itself (\' \" \\).
char EscapedChar(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'b': return '\b';
    case '0': return '\0';
    default: return c;
    }
}

bool ParseExpression(Context& ctx, std::string_view text, std::int32_t line, ExprRef& out)
{
    const auto first = static_cast<std::uint32_t>(ctx.exprOps.size());
    Parser parser(ctx, text, line);
    if (!parser.Run()) {
        ctx.exprOps.resize(first);
        out = {};
        return false;
    }
    out.first = first;
    out.count = static_cast<std::uint32_t>(ctx.exprOps.size()) - first;
    if (ctx.evalStack.size() < out.count)
        ctx.evalStack.resize(out.count);
    return true;
}

bool Evaluate(Context& ctx, ExprRef expr, std::int32_t here, std::int32_t& value)
{
    std::int32_t* stack = ctx.evalStack.data();
    std::size_t top = 0;
    const ExprOp* ops = ctx.exprOps.data() + expr.first;
    bool ok = true;
    for (std::uint32_t i = 0; i < expr.count; ++i) {
        const ExprOp& e = ops[i];
        const auto u = [&](std::size_t k) { return static_cast<std::uint32_t>(stack[k]); };
        switch (e.op) {
        case Op::Number: stack[top++] = e.value; continue;
        case Op::Here: stack[top++] = here; continue;
        case Op::Symbol: {
            SymbolEntry& s = ctx.symbols[e.value];
            if (s.bankRegister && s.known) {
                stack[top++] = ctx.bank * 8 + s.value;
                continue;
            }
            if (!s.known) {
                if (s.line == 0 && !s.predefined) {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "undefined symbol " + std::string(s.name));
                    ok = false;
                } else if (s.line == 0) {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "undefined symbol " + std::string(s.name) +
                                                       " (the register names are off after $NOMOD51)");
                    ok = false;
                } else {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "symbol " + std::string(s.name) + " has no value (circular definition)");
                    ctx.unknownSeen = true;
                    ok = false;
                }
            }
            stack[top++] = s.value;
            continue;
        }
        case Op::Neg: stack[top - 1] = static_cast<std::int32_t>(0u - u(top - 1)); continue;
        case Op::Not: stack[top - 1] = static_cast<std::int32_t>(~u(top - 1)); continue;
        case Op::High: stack[top - 1] = (stack[top - 1] >> 8) & 0xFF; continue;
        case Op::Low: stack[top - 1] = stack[top - 1] & 0xFF; continue;
        default: break;
        }
        --top;
        const std::uint32_t a = u(top - 1), b = u(top);
        std::uint32_t r = 0;
        switch (e.op) {
        case Op::Add: r = a + b; break;
        case Op::Sub: r = a - b; break;
        case Op::Mul: r = a * b; break;
        case Op::Div:
        case Op::Mod: {
            const std::int64_t sa = stack[top - 1], sb = stack[top];
            if (sb == 0) {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "division by zero");
                ok = false;
                r = 0;
            } else {
                r = static_cast<std::uint32_t>(e.op == Op::Div ? sa / sb : sa % sb);
            }
            break;
        }
        case Op::And: r = a & b; break;
        case Op::Or: r = a | b; break;
        case Op::Xor: r = a ^ b; break;
        case Op::Shl: r = b >= 32 ? 0 : a << b; break;
        case Op::Shr: r = b >= 32 ? 0 : a >> b; break;
        case Op::Eq: r = a == b ? ~0u : 0; break;
        case Op::Ne: r = a != b ? ~0u : 0; break;
        case Op::Lt: r = stack[top - 1] < stack[top] ? ~0u : 0; break;
        case Op::Le: r = stack[top - 1] <= stack[top] ? ~0u : 0; break;
        case Op::Gt: r = stack[top - 1] > stack[top] ? ~0u : 0; break;
        case Op::Ge: r = stack[top - 1] >= stack[top] ? ~0u : 0; break;
        case Op::BitOf: {
            const std::int32_t byte = stack[top - 1], bit = stack[top];
            if (bit < 0 || bit > 7) {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "bit number " + std::to_string(bit) + " is not 0 to 7");
                ok = false;
            } else if (byte >= 0x20 && byte <= 0x2F) {
                r = static_cast<std::uint32_t>((byte - 0x20) * 8 + bit);
            } else if (byte >= 0x80 && byte <= 0xFF && byte % 8 == 0) {
                r = static_cast<std::uint32_t>(byte + bit);
            } else {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "address " + Hex4(static_cast<std::uint32_t>(byte)) +
                                                   " has no addressable bits (20H-2FH and SFRs at multiples of 8)");
                ok = false;
            }
            break;
        }
        default: break;
        }
        stack[top - 1] = static_cast<std::int32_t>(r);
    }
    value = top ? stack[0] : 0;
    return ok;
}

} // namespace m51asm
