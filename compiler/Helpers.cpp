#include "compiler/Helpers.h"

#include "compiler/MyVision.h"
#include "common/PlainText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace m51 {

using namespace MyVision;

namespace {

constexpr std::string_view kDigitTable = "0123456789ABCDEFZ";

// Truncates toward zero and keeps the result within the 32-bit range, so that
// huge or infinite literals never overflow.
std::int32_t TruncateToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(value);
    if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(t);
}

bool HasSuffix(std::string_view word, char upperSuffix)
{
    return !word.empty() && UpperChar(word.back()) == upperSuffix;
}

} // namespace

namespace {

// `prefix` followed by the number with zeros in front up to four digits.
std::string PrefixedDigits(std::string_view prefix, std::int64_t number)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    const std::size_t n = static_cast<std::size_t>(end - digits);
    const std::size_t zeros = n < 4 ? 4 - n : 0;
    std::string text;
    text.reserve(prefix.size() + zeros + n);
    text.append(prefix);
    text.append(zeros, '0');
    text.append(digits, n);
    return text;
}

} // namespace

std::string LabelDigits(std::int64_t number)
{
    return PrefixedDigits({}, number);
}

std::string NextLabel(int step, CompileContext& context)
{
    context.LabelCounter += step;
    return PrefixedDigits("PRS", context.LabelCounter);
}

std::string NormalizeNumber(std::string_view word)
{
    if (HasSuffix(word, 'H')) {
        if (word.size() == 5)
            return "0" + std::string(word);
        if (word.size() >= 4)
            return std::string(word);
        std::string padded = "0" + std::string(word);
        if (padded.size() < 4)
            padded.insert(0, 1, '0');
        return padded;
    }
    if (HasSuffix(word, 'B'))
        return std::string(word);
    if (word.size() < 3 && (TextToNumber(word) != 0.0 || word == "0")) {
        if (word[0] >= '1' && word[0] <= '9')
            return std::string(3 - word.size(), '0') + std::string(word);
    }
    return std::string(word);
}

std::string ByteToHex(std::uint8_t value)
{
    return {kDigitTable[value >> 4], kDigitTable[value & 0x0F]};
}

std::int32_t NumberValue(std::string_view word)
{
    if (HasSuffix(word, 'H')) {
        std::uint32_t value = 0;
        for (char c : word.substr(0, word.size() - 1))
            value = value * 16u + static_cast<std::uint32_t>(std::max(0, m51::HexDigit(c)));  // a bad digit counts as 0
        return static_cast<std::int32_t>(value);
    }
    return TruncateToInt32(TextToNumber(word));
}

std::string OffsetNumber(std::string_view word, std::int32_t offset)
{
    if (HasSuffix(word, 'H')) {
        const auto sum = static_cast<std::uint32_t>(NumberValue(word)) + static_cast<std::uint32_t>(offset);
        return ByteToHex(static_cast<std::uint8_t>(sum & 0xFFu)) + "H";
    }
    const std::int64_t sum = std::int64_t{TruncateToInt32(TextToNumber(word))} + offset;
    return std::to_string(sum);
}

bool IsSfrName(std::string_view word)
{
    static constexpr std::string_view kNames[] = {"SP",  "DPL", "DPH", "PCON", "TCON", "TMOD",
                                                  "T2CON", "TL0", "TL1", "TH0", "TH1", "SCON",
                                                  "SBUF", "IE",  "IP",  "PSW"};
    const std::string_view name = TrimView(word);
    for (std::string_view n : kNames)
        if (name == n)
            return true;
    return false;
}

int DigitAt(std::string_view word, std::size_t position)
{
    const std::string_view c = Chars(word, position, position);
    return c.empty() || c[0] < '0' || c[0] > '9' ? 0 : c[0] - '0';
}

void ChooseCountRegister(CompileContext& context, int digit)
{
    static constexpr std::string_view kRegisters[] = {"08", "09", "0Ah", "0Bh", "0Ch", "0Dh", "0Eh", "0Fh"};
    if (digit >= 1 && digit <= 8)
        context.CountRegister = kRegisters[digit - 1];
}

void ChooseBufferRegister(CompileContext& context, int digit)
{
    static constexpr std::string_view kBuffers[] = {"10h", "11h", "12h", "13h", "14h",
                                                    "15h", "16h", "17h", "18h"};
    if (digit >= 1 && digit <= 9)
        context.BufferRegister = kBuffers[digit - 1];
}

} // namespace m51
