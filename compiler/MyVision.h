#pragma once
// Text helpers shared by the compiler and the development environment.
// Every text is a byte string in code page 1250: one character is one byte,
// and character positions are counted from 1 where an operation takes one.

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

} // namespace MyVision
