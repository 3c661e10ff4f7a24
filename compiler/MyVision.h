#pragma once
// Text helpers shared by the compiler and the development environment.
// Every text is a byte string in code page 1250: one character is one byte,
// and character positions are counted from 1 where an operation takes one.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace MyVision {

// Upper-cases a..z and the Central European lower-case letters of code page 1250.
std::string UpperText(std::string_view text);
// The n-th field of a text split at `separator`, trimmed; empty when there is none.
std::string ExtractField(char separator, std::string_view text, int n);
std::string IntToText(std::int32_t value);
// Decimal number with optional sign, fraction and exponent; 0 when not a number.
double TextToNumber(std::string_view text);
// Drops leading and trailing bytes of code 32 or below.
std::string TrimText(std::string_view text);
int CountChar(char c, std::string_view text);

// Allocation-free forms for the compiler's per-line work; same results as above.
namespace detail {
// The capital of every code page 1250 byte; bytes without one map to themselves.
constexpr std::array<unsigned char, 256> MakeUpperTable()
{
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c)
        t[c] = static_cast<unsigned char>(c - 32);
    constexpr int pairs[][2] = {{154, 138}, {156, 140}, {157, 141}, {158, 142}, {159, 143},
                                {179, 163}, {190, 188}, {191, 175}, {239, 207}, {241, 209},
                                {242, 210}, {243, 211}, {245, 213}, {246, 214}, {248, 216},
                                {249, 217}, {250, 218}, {251, 219}, {252, 220}, {253, 221}};
    for (const auto& p : pairs)
        t[p[0]] = static_cast<unsigned char>(p[1]);
    for (int c = 224; c <= 237; ++c)
        t[c] = static_cast<unsigned char>(c - 32);
    return t;
}
inline constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();
} // namespace detail

inline char UpperChar(char c)
{
    return static_cast<char>(detail::kUpper[static_cast<unsigned char>(c)]);
}

// True when UpperText(text) equals upperWord (a word already in capitals).
bool EqualsUpper(std::string_view text, std::string_view upperWord);

inline std::string_view TrimView(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}
// A view into `text`; valid as long as `text` is.
std::string_view ExtractFieldView(char separator, std::string_view text, int n);

} // namespace MyVision
