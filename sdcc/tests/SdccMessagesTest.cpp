// SDCC's build messages read into places and severities, as its compiler,
// parser, preprocessor, assembler and linker print them.
#include "sdcc/SdccMessages.h"

#include <gtest/gtest.h>

namespace {

using Severity = sdcc::Message::Severity;

TEST(SdccMessages, EachProgramsFormat)
{
    const struct {
        const char* line;
        const char* file;
        int lineNumber;
        int column;
        Severity severity;
        const char* text;
    } cases[] = {
        {"e1.c:1: error 20: Undefined identifier 'x'", "e1.c", 1, 0, Severity::Error, "Undefined identifier 'x'"},
        {"a.c:17: warning 196: pointer target lost const qualifier", "a.c", 17, 0, Severity::Warning,
         "pointer target lost const qualifier"},
        {"e1.c:3: syntax error: token -> '}' ; column 1", "e1.c", 3, 1, Severity::Error, "syntax error: token -> '}'"},
        {"e2.c:1:21: fatal error: nothere.h: No such file or directory", "e2.c", 1, 21, Severity::Error,
         "nothere.h: No such file or directory"},
        {"e4.c:1:2: error: #error stop here", "e4.c", 1, 2, Severity::Error, "#error stop here"},
        {"e6.asm:130: Error: <q> missing or improper operators", "e6.asm", 130, 0, Severity::Error,
         "<q> missing or improper operators"},
        {"C:\\work\\lib.c:4: warning 85: in function f unreferenced function argument : 'a'", "C:\\work\\lib.c", 4, 0,
         Severity::Warning, "in function f unreferenced function argument : 'a'"},
        {"?ASlink-Warning-Undefined Global '_g' referenced by module 'e3'", "", 0, 0, Severity::Warning,
         "Undefined Global '_g' referenced by module 'e3'"},
        {"?ASlink-Error-Could not get 9 consecutive bytes in internal RAM for area DSEG.", "", 0, 0, Severity::Error,
         "Could not get 9 consecutive bytes in internal RAM for area DSEG."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto messages = sdcc::ReadMessages(c.line);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].file, c.file);
        EXPECT_EQ(messages[0].line, c.lineNumber);
        EXPECT_EQ(messages[0].column, c.column);
        EXPECT_EQ(messages[0].severity, c.severity);
        EXPECT_EQ(messages[0].text, c.text);
    }
}

TEST(SdccMessages, ContinuationsChatterAndBounds)
{
    const auto messages = sdcc::ReadMessages("removing e6.rel\n"
                                             "a.c:5: warning 196: pointer target lost const qualifier\n"
                                             "from type 'const-char code* fixed'\n"
                                             "  to type 'char generic* fixed'\n"
                                             "compilation terminated.\r\n"
                                             "\n"
                                             "b.c:2: error 1: one\n");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text,
              "pointer target lost const qualifier; from type 'const-char code* fixed'; to type 'char generic* fixed'");
    EXPECT_EQ(messages[1].file, "b.c");

    std::string flood;
    for (int i = 0; i < 50; ++i)
        flood += "x.c:" + std::to_string(i + 1) + ": error 9: e\n";
    const auto bounded = sdcc::ReadMessages(flood + "x.c:9: error 1: " + std::string(5000, 'y') + "\n", 10);
    ASSERT_EQ(bounded.size(), 11u);
    EXPECT_EQ(bounded.back().text, "... and 41 more messages");
    EXPECT_LE(sdcc::ReadMessages("x.c:9: error 1: " + std::string(5000, 'y'))[0].text.size(), 1000u);
}

} // namespace
