#pragma once
// The character classes every part of the assembler reads names and blanks
// with, in code page 1250 (one character a byte): a name starts with a letter,
// "_", "?" or any byte from 80H up (the accented letters), and goes on with
// those and digits. The assembler's own, and the language server reads names
// in a source with them too.

#include <string>
#include <string_view>

namespace m51asm {

inline bool IsIdentStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '?' || c >= 0x80;
}

inline bool IsIdentChar(unsigned char c)
{
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

inline char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

inline std::string UpperCase(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = Upper(c);
    return upper;
}

} // namespace m51asm
