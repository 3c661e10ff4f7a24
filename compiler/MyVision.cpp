#include "compiler/MyVision.h"

#include <charconv>
#include <limits>

namespace MyVision {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::string UpperText(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

bool EqualsUpper(std::string_view text, std::string_view upperWord)
{
    if (text.size() != upperWord.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (UpperChar(text[i]) != upperWord[i])
            return false;
    return true;
}

std::string TrimText(std::string_view text)
{
    return std::string(TrimView(text));
}

std::string_view ExtractFieldView(char separator, std::string_view text, int n)
{
    // Below code 150 runs of the separator count as one; from 150 on every
    // separator ends a field, so empty fields count. A text that begins with the
    // separator has an empty first field either way.
    const bool collapse = static_cast<unsigned char>(separator) < 150;
    const int wanted = n < 1 ? 1 : n;
    int field = 1;
    std::size_t start = 0;
    for (std::size_t i = 0;; ++i) {
        if (i == text.size() || text[i] == separator) {
            if (field == wanted)
                return TrimView(text.substr(start, i - start));
            if (i == text.size())
                return {};
            ++field;
            if (collapse)
                while (i + 1 < text.size() && text[i + 1] == separator)
                    ++i;
            start = i + 1;
        }
    }
}

std::string ExtractField(char separator, std::string_view text, int n)
{
    return std::string(ExtractFieldView(separator, text, n));
}

std::string IntToText(std::int32_t value)
{
    return std::to_string(value);
}

double TextToNumber(std::string_view text)
{
    const std::string_view t = TrimView(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    const std::size_t mantissa = i;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < t.size() && IsDigit(t[i]))
        ++i, ++intDigits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i]))
            ++i, ++fracDigits;
    }
    if (intDigits + fracDigits == 0)
        return 0.0;
    long long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            expNegative = t[i++] == '-';
        std::size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) {
            if (exponent < 100000)
                exponent = exponent * 10 + (t[i] - '0');
            ++i, ++expDigits;
        }
        if (expDigits == 0)
            return 0.0;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != t.size())
        return 0.0;

    double value = 0.0;
    const char* first = t.data() + mantissa;
    const auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as the C library does.
        std::size_t lead = mantissa;
        long long position = static_cast<long long>(intDigits);
        while (lead < t.size() && (t[lead] == '0' || t[lead] == '.')) {
            if (t[lead] == '0')
                --position;
            ++lead;
        }
        value = position + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != t.data() + t.size()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int CountChar(char c, std::string_view text)
{
    int count = 0;
    for (char x : text)
        count += x == c;
    return count;
}

} // namespace MyVision
