// The dialect table and the recognition of an as31 source.
#include "assembler/Dialect.h"
#include "assembler/Characters.h"

namespace m51asm {

namespace {

//                                  name     0x     0xH    \n     .org   #def   sfr    &|*    short
constexpr DialectRules kAsm51 = {"asm51", false, false, false, false, false, false, false, false};
constexpr DialectRules kKeil = {"keil",   true,  false, false, false, true,  true,  false, true};
constexpr DialectRules kAs31 = {"as31",   true,  true,  true,  true,  false, false, true,  false};

inline char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// The word after a dot at `p` is one of as31's directives.
bool DotDirective(std::string_view s, std::size_t p)
{
    std::size_t end = p + 1;
    while (end < s.size() && IsIdentChar(static_cast<unsigned char>(s[end])))
        ++end;
    if (end - p - 1 > 7)
        return false;
    char w[8] = {};
    for (std::size_t i = p + 1; i < end; ++i)
        w[i - p - 1] = Lower(s[i]);
    const std::string_view word(w);
    for (const char* d : {"org", "equ", "db", "dw", "byte", "word", "skip", "flag", "end", "inc", "include"})
        if (word == d)
            return true;
    return false;
}

} // namespace

const DialectRules& RulesOf(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Keil: return kKeil;
    case Dialect::As31: return kAs31;
    default: return kAsm51;
    }
}

Dialect DetectDialect(std::string_view s)
{
    // Only the dots need a look: one that starts an as31 directive, at the
    // start of a line or after a label.
    const auto lineStart = [&](std::size_t b) { return b == 0 || s[b - 1] == '\n' || s[b - 1] == '\r'; };
    const auto blanksBefore = [&](std::size_t b) {
        while (b > 0 && (s[b - 1] == ' ' || s[b - 1] == '\t'))
            --b;
        return b;
    };
    for (std::size_t dot = s.find('.'); dot != std::string_view::npos; dot = s.find('.', dot + 1)) {
        if (!DotDirective(s, dot))
            continue;
        std::size_t b = blanksBefore(dot);
        if (lineStart(b))
            return Dialect::As31;
        if (s[b - 1] != ':')
            continue;
        const std::size_t colon = --b;
        while (b > 0 && IsIdentChar(static_cast<unsigned char>(s[b - 1])))
            --b;
        if (b < colon && lineStart(blanksBefore(b)))
            return Dialect::As31;
    }
    return Dialect::Asm51;
}

bool DialectFromName(std::string_view name, Dialect& dialect)
{
    struct Name { const char* name; Dialect dialect; };
    static constexpr Name kNames[] = {{"auto", Dialect::Auto}, {"asm51", Dialect::Asm51}, {"keil", Dialect::Keil},
                                      {"a51", Dialect::Keil},   {"as31", Dialect::As31}};
    for (const Name& n : kNames) {
        if (name == n.name) {
            dialect = n.dialect;
            return true;
        }
    }
    return false;
}

} // namespace m51asm
