// The shared hexadecimal digits and line ends: every program reads them alike.
#include "common/PlainText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PlainText, HexDigitValuesAndRejects)
{
    const struct { char c; int value; } cases[] = {
        {'0', 0}, {'9', 9}, {'A', 10}, {'F', 15}, {'a', 10}, {'f', 15},
        {'G', -1}, {'g', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {' ', -1}, {'\xC1', -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(m51::HexDigit(c.c), c.value) << c.c;
}

TEST(PlainText, LinesEndAtCrLfLfOrLoneCr)
{
    const struct { std::string text; std::vector<std::string> lines; } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"\n\r", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\r", {"a"}},
        {"\n\n", {"", ""}},
        {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string_view> views = m51::SplitLines(c.text);
        EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), c.lines) << c.text;
    }
}

TEST(PlainText, ForEachLineNumbersFromOneAndStopsWhenAsked)
{
    std::vector<int> numbers;
    m51::ForEachLine("a\nb\nc\nd", [&](std::string_view, std::int32_t n) {
        numbers.push_back(n);
        return n < 2;
    });
    EXPECT_EQ(numbers, (std::vector<int>{1, 2}));
}

} // namespace
