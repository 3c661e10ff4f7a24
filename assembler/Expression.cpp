// Expressions: symbols, $, characters and numbers (their forms in
// Numbers.cpp) joined by the operators, parsed into postfix steps once and
// evaluated in every pass (Evaluate.cpp).
//
// Precedence, loosest first: OR XOR, AND, NOT, the relations (EQ NE LT LE GT
// GE, = <> < <= > >=: all ones when true), binary + -, * / MOD SHL SHR,
// unary + - HIGH LOW, the bit selector "." (P1.0, 20H.3), then operands and
// parentheses. Arithmetic is 32-bit two's complement; ranges are checked
// where a value is used.
#include "assembler/Context.h"
#include "assembler/Characters.h"

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

} // namespace m51asm
