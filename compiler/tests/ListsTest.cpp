// The indexed procedure and inline lists against the plain walks over the
// whole list that they replace.

#include "compiler/CompileContext.h"
#include "compiler/MyVision.h"

#include <gtest/gtest.h>

#include <random>

using namespace m51;

namespace {

// The walk with a copy switch, entry by entry.
std::vector<std::string> WalkBlock(const std::vector<std::string>& entries, const std::string& number)
{
    std::vector<std::string> out;
    bool copying = false;
    for (const std::string& e : entries) {
        const std::string first = MyVision::ExtractField(' ', e, 1);
        if (first == "INLINEEND")
            copying = false;
        if (copying)
            out.push_back(e);
        if (first == "INLINE" && MyVision::ExtractField(' ', e, 2) == number)
            copying = true;
    }
    return out;
}

int CountByWalk(const std::vector<std::string>& entries, const std::string& upperName)
{
    int n = 0;
    for (const std::string& e : entries)
        n += MyVision::UpperText(MyVision::ExtractField(' ', e, 2)) == upperName;
    return n;
}

} // namespace

TEST(Lists, InlineBlocksMatchTheWalk)
{
    // Headers in and out of order, repeated and odd numbers ("01", "x", huge),
    // lines that look like headers and terminators, and blocks left open.
    const std::vector<std::string> pieces = {"INLINE 1", "INLINE 2", "INLINE 3", "INLINE 10", "INLINE 01",
                                             "INLINE x", "INLINE", "INLINE  2", " INLINE 3 ", "INLINE 99999999999999999999",
                                             "INLINEEND", "INLINEEND x", "NOP", "Call X", "INLINE\t2"};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        InlineList list;
        std::vector<std::string> entries;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            const std::string& e = pieces[random() % pieces.size()];
            list.Add({i, e});
            entries.push_back(e);
            // Look-ups while the list grows, as the inline pass does.
            for (const char* number : {"1", "2", "3", "10", "01", "x", "", "99999999999999999999", "4"}) {
                std::vector<std::string> copied;
                list.CopyBlock(number, copied);
                ASSERT_EQ(copied, WalkBlock(entries, number)) << "round " << round << " number '" << number << "'";
            }
        }
        ASSERT_EQ(EntryTexts(list.Entries()), entries);
    }
}

TEST(Lists, ProcedureNamesMatchTheWalk)
{
    const std::vector<std::string> pieces = {"0 MAIN", "1 ERROR - Duplicate main", "2 ", "3 BLINK", "4 ERROR",
                                             "5 main", "6  MAIN", "7 A B", "8"};
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        ProcedureList list;
        std::vector<std::string> entries;
        for (int i = 0, n = static_cast<int>(random() % 20); i < n; ++i) {
            const std::string& e = pieces[random() % pieces.size()];
            list.Add({i, e});
            entries.push_back(e);
        }
        for (const char* name : {"MAIN", "ERROR", "", "BLINK", "A", "B", "8", "MAI"})
            ASSERT_EQ(list.CountNamed(name), CountByWalk(entries, name)) << "round " << round << " name " << name;
    }
}
