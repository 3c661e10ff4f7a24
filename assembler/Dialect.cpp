// The dialect table and the recognition of an as31 source.
#include "Dialect.h"

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

inline bool IsIdentChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '?' ||
           c >= 0x80;
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
    // Lines end at LF (CR LF too); a file of lone CRs has no LF at all.
    const char eol = s.find('\n') == std::string_view::npos ? '\r' : '\n';
    std::size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
            ++p;
        // An optional "label:" in front of the directive.
        std::size_t q = p;
        while (q < s.size() && IsIdentChar(static_cast<unsigned char>(s[q])))
            ++q;
        if (q > p && q < s.size() && s[q] == ':') {
            p = q + 1;
            while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
                ++p;
        }
        if (p < s.size() && s[p] == '.' && DotDirective(s, p))
            return Dialect::As31;
        const std::size_t end = s.find(eol, p);
        if (end == std::string_view::npos)
            break;
        p = end + 1;
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
