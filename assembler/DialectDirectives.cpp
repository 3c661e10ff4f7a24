// The directives of the other dialects: as31's dot directives and its
// escaped strings, Keil's C header declarations (sfr, sfr16, sbit).
#include "assembler/LineParser.h"
#include "assembler/Characters.h"

#include <algorithm>

namespace m51asm {

// An as31 directive: .org, .equ NAME, VALUE, .db/.byte, .dw/.word, .skip,
// .flag NAME, BIT, .end (which as31 reads on after).
bool LineParser::DotDirective(Statement& st, std::string_view text)
{
    std::size_t p = 0;
    const std::string_view word = Word(text, p);
    const std::string_view rest = TrimBlanks(text.substr(p));
    const bool equ = EqualsUpper(word, "EQU");
    if (equ || EqualsUpper(word, "FLAG")) {
        const std::size_t comma = rest.find(',');
        std::size_t n = 0;
        const std::string_view name = comma == std::string_view::npos ? std::string_view() : Word(rest, n);
        if (name.empty() || TrimBlanks(rest.substr(n, comma - n)).size() != 0) {
            m_ctx.Error(m_lineNo, std::string(equ ? ".equ" : ".flag") + " needs a name and a value: ." +
                                      (equ ? "equ NAME, VALUE" : "flag NAME, BYTE.BIT"));
            return Push(st);
        }
        return NameDefinition(st, name, equ ? Kind::Equ : Kind::Bit, rest.substr(comma + 1));
    }
    if (EqualsUpper(word, "END"))
        return Push(st);  // as31 reads on after .end
    Kind kind = Kind::Label;
    if (EqualsUpper(word, "ORG"))
        kind = Kind::Org;
    else if (EqualsUpper(word, "DB") || EqualsUpper(word, "BYTE"))
        kind = Kind::Db;
    else if (EqualsUpper(word, "DW") || EqualsUpper(word, "WORD"))
        kind = Kind::Dw;
    else if (EqualsUpper(word, "SKIP") || EqualsUpper(word, "DS"))
        kind = Kind::Ds;
    if (kind == Kind::Label) {
        m_ctx.Error(m_lineNo, "unknown directive ." + std::string(word.empty() ? text.substr(0, 1) : word) +
                                  " (.org, .equ, .db, .byte, .dw, .word, .skip, .flag, .end, .inc)");
        return Push(st);
    }
    Directive(st, kind, word, rest);
    return Push(st);
}

// Keil's C header declarations: sfr NAME = address, sfr16 NAME = address,
// sbit NAME = byte ^ bit.
bool LineParser::Declaration(Statement& st, std::string_view word, std::string_view text)
{
    std::size_t p = 0;
    const std::string_view name = Word(text, p);
    p = SkipBlanks(text, p);
    if (name.empty() || p >= text.size() || text[p] != '=') {
        m_ctx.Error(m_lineNo, std::string(word) + " needs NAME = " + (EqualsUpper(word, "SBIT") ? "byte ^ bit" : "address"));
        return Push(st);
    }
    std::string value(TrimBlanks(text.substr(p + 1)));
    const bool bit = EqualsUpper(word, "SBIT");
    if (bit)
        std::replace(value.begin(), value.end(), '^', '.');
    return NameDefinition(st, name, bit ? Kind::Bit : Kind::Data, m_ctx.Keep(std::move(value)));
}

// An as31 string: backslash escapes decoded, kept with its quote
// written twice where it stands in the text, as the code pass reads it.
bool LineParser::EscapedString(std::string_view op, std::string_view& inner, std::size_t& length)
{
    if (op.size() < 2 || (op[0] != '"' && op[0] != '\'') || op.back() != op[0])
        return false;
    const char q = op[0];
    std::string text(1, q);
    length = 0;
    for (std::size_t i = 1; i + 1 < op.size(); ++i) {
        char c = op[i];
        if (c == '\\' && i + 2 < op.size())
            c = EscapedChar(op[++i]);
        else if (c == q)
            return false;
        if (c == q)
            text += q;
        text += c;
        ++length;
    }
    text += q;
    inner = m_ctx.Keep(std::move(text));
    inner = inner.substr(1, inner.size() - 2);
    return true;
}

} // namespace m51asm
