// The number forms of every dialect: the ASM51 suffixes (1FH, 101B, 17O or
// 17Q, 99D), the C prefixes of Keil and as31 (0x1F, 0b101) and as31's
// backslash escapes in characters and strings.
#include "assembler/Context.h"
#include "assembler/Characters.h"

namespace m51asm {

namespace {

bool IsBinary(std::string_view s)
{
    for (char c : s)
        if (c != '0' && c != '1')
            return false;
    return !s.empty();
}

} // namespace

bool NumberValue(std::string_view t, std::int32_t& value, std::string& problem, const DialectRules& rules)
{
    const char last = Upper(t.back());
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
    for (char ch : digits) {
        const unsigned char c = static_cast<unsigned char>(Upper(ch));
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

} // namespace m51asm
