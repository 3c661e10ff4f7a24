#pragma once
// The compiler's own helpers: generated labels, number literals rewritten for
// the assembler, their values, and the register tables of the counted-loop and
// buffer statements.

#include "compiler/CompileContext.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace m51 {

// A label number as text: decimal, "0" in front up to four characters.
std::string LabelDigits(std::int64_t number);

// Adds `step` (0 or 1) to LabelCounter and returns "PRS" + LabelDigits.
std::string NextLabel(int step, CompileContext& context);

// Rewrites a literal for the assembler: short hexadecimal literals get leading
// zeros ("H" gives "00H", "FH" gives "00FH", "FFFFH" gives "0FFFFH"), decimals that start with a
// non-zero digit are padded to three characters ("5" gives "005"); binary
// literals, names and everything else stay as written.
std::string NormalizeNumber(std::string_view word);

// Two upper-case hexadecimal digits.
std::string ByteToHex(std::uint8_t value);

// Value of a literal: hexadecimal with suffix H (any other character counts as
// the digit 0; more than eight digits wrap), otherwise the decimal value
// truncated toward zero and held within the 32-bit range; names give 0.
std::int32_t NumberValue(std::string_view word);

// The literal's value plus `offset`, in the literal's radix: a hexadecimal one
// as the low byte with suffix H ("7FH" + 48 gives "AFH"), any other decimal.
std::string OffsetNumber(std::string_view word, std::int32_t offset);

// True when the trimmed word is one of the sixteen special-function registers
// that have no keyword of their own (case-sensitive; callers pass capitals).
bool IsSfrName(std::string_view word);

// Characters `from` to `to` (1-based, inclusive) of a word, clipped to its length.
inline std::string_view Chars(std::string_view word, std::size_t from, std::size_t to)
{
    if (from < 1 || from > word.size() || to < from)
        return {};
    return word.substr(from - 1, to - from + 1);
}

// The digit at 1-based position `position` of a word: its value when it is a
// decimal digit, otherwise 0 (also past the end of the word).
int DigitAt(std::string_view word, std::size_t position);

// Counted-register table: digits 1..8 choose R0..R7 of bank 1 ("08", "09",
// "0Ah" .. "0Fh"); any other digit leaves CountRegister as it was.
void ChooseCountRegister(CompileContext& context, int digit);
// Buffer table: digits 1..9 choose "10h" .. "18h"; others leave BufferRegister.
void ChooseBufferRegister(CompileContext& context, int digit);

} // namespace m51
