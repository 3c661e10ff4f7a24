#pragma once
// Code page 1250, the one table of it: the compiler, the assembler and the
// files hold code page 1250 bytes (one character a byte); the windows (through
// Cp1250.h) and the language server's UTF-8 speak Unicode. Every byte value
// has a character, the five the code page leaves undefined (81H, 83H, 88H,
// 90H, 98H) the C1 control of the same value, so bytes survive the way there
// and back. Plain C++.

#include <string>
#include <string_view>

namespace cp1250 {

// The Unicode character of a byte.
char16_t ToUnicode(unsigned char byte);
// The byte of a character; -1 when the code page has none.
int FromUnicode(char32_t character);

// Bytes as UTF-8 text.
std::string ToUtf8(std::string_view bytes);
// UTF-8 text as bytes, one a UTF-16 unit: a character the code page lacks
// becomes '?', one beyond the 16-bit range "??" (its two UTF-16 units), so
// that a byte's offset in a line is the line's column in UTF-16 units. A
// byte that is not UTF-8 becomes '?'.
std::string FromUtf8(std::string_view text);

} // namespace cp1250
