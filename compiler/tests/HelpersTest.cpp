// The text and number helpers, table by table.

#include "compiler/CompileContext.h"
#include "compiler/Compiler.h"
#include "compiler/Helpers.h"
#include "compiler/MyVision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace MyVision;
using namespace m51;

namespace {

std::string Bytes(std::initializer_list<int> codes)
{
    std::string s;
    for (int c : codes)
        s.push_back(static_cast<char>(c));
    return s;
}

} // namespace

TEST(MyVision, UpperTextCentralEuropeanLetters)
{
    EXPECT_EQ(UpperText("abc xyz 09_;"), "ABC XYZ 09_;");
    // Every converted pair of the code page, lower to capital.
    const int pairs[][2] = {{154, 138}, {156, 140}, {157, 141}, {158, 142}, {159, 143}, {179, 163},
                            {190, 188}, {191, 175}, {224, 192}, {232, 200}, {237, 205}, {239, 207},
                            {241, 209}, {242, 210}, {243, 211}, {245, 213}, {246, 214}, {248, 216},
                            {249, 217}, {250, 218}, {251, 219}, {252, 220}, {253, 221}};
    for (const auto& p : pairs)
        EXPECT_EQ(UpperText(Bytes({p[0]})), Bytes({p[1]})) << "byte " << p[0];
    // Lower-case letters the conversion leaves alone, and the capitals themselves.
    for (int c : {185, 186, 238, 240, 244, 254, 138, 200, 0, 127, 255})
        EXPECT_EQ(UpperText(Bytes({c})), Bytes({c})) << "byte " << c;
    // č becomes Č, ô stays.
    EXPECT_EQ(UpperText(Bytes({'x', 232, 244})), Bytes({'X', 200, 244}));
    EXPECT_EQ(UpperText(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(MyVision, ExtractField)
{
    struct Case {
        char separator;
        std::string text;
        int n;
        std::string field;
    };
    const Case cases[] = {
        {';', "MOV A,B", 1, "MOV A,B"},
        {';', "MOV A,B", 2, ""},
        {';', ";first;second", 1, ""},
        {';', ";first;second", 2, "first"},
        {';', ";first;second", 3, "second"},
        {';', "a;;;b", 2, "b"},            // a run of separators counts as one
        {';', "a;", 2, ""},
        {';', "a;", 3, ""},
        {' ', "ONE   TWO", 2, "TWO"},
        {' ', "  ONE TWO", 1, ""},          // leading separator: empty first field
        {' ', "  ONE TWO", 2, "ONE"},
        {' ', "ONE TWO", 0, "ONE"},         // n below 1 drops nothing
        {' ', "ONE TWO", -3, "ONE"},
        {' ', "", 1, ""},
        {'=', "30H=5", 1, "30H"},
        {'=', "30H=5", 2, "5"},
        {'=', "30H", 2, ""},
        {'.', "C:\\my.dir\\blink.M51", 1, "C:\\my"},
        {';', "x ;\t padded \t;", 2, "padded"},  // fields are trimmed of bytes <= 32
        // From code 150 on runs do not collapse, so empty fields count.
        {static_cast<char>(200), Bytes({'a', 200, 200, 'b'}), 2, ""},
        {static_cast<char>(200), Bytes({'a', 200, 200, 'b'}), 3, "b"},
        {static_cast<char>(200), Bytes({200, 'b'}), 1, ""},
        {static_cast<char>(200), Bytes({200, 'b'}), 2, "b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtractField(c.separator, c.text, c.n), c.field)
            << "'" << c.text << "' field " << c.n << " at '" << c.separator << "'";
}

TEST(MyVision, NumbersAndTrim)
{
    EXPECT_EQ(IntToText(0), "0");
    EXPECT_EQ(IntToText(-42), "-42");
    EXPECT_EQ(IntToText(2147483647), "2147483647");

    struct Case {
        std::string text;
        double value;
    };
    const Case numbers[] = {{"12", 12},     {" -7 ", -7},  {"+3", 3},    {"2.5", 2.5}, {".5", 0.5},
                            {"1e3", 1000},  {"1E-2", 0.01}, {"12H", 0},  {"1010B", 0}, {"", 0},
                            {"NAME", 0},    {"-", 0},      {"1e", 0},    {"0x1A", 0},  {"inf", 0},
                            {"nan", 0},     {"1 2", 0},    {"5.", 5}};
    for (const Case& c : numbers)
        EXPECT_DOUBLE_EQ(TextToNumber(c.text), c.value) << "'" << c.text << "'";
    EXPECT_TRUE(std::isinf(TextToNumber("1e999")));
    EXPECT_EQ(TextToNumber("1e-999"), 0.0);

    EXPECT_EQ(TrimText(std::string("\t\0 a b \x1f", 7)), "a b");
    EXPECT_EQ(TrimText(Bytes({' ', 200, ' '})), Bytes({200}));  // bytes above 127 are text
    EXPECT_EQ(CountChar(';', "a;b;;c"), 3);
    EXPECT_EQ(CountChar('x', ""), 0);
}

TEST(CompilerHelpers, NormalizeNumber)
{
    const std::pair<std::string, std::string> cases[] = {
        {"FFH", "0FFH"},  {"FH", "00FH"},       {"H", "00H"},       {"1FFH", "1FFH"},   {"FFFFH", "0FFFFH"},
        {"12345H", "12345H"}, {"ffh", "0ffh"},  {"10101010B", "10101010B"}, {"1b", "1b"},
        {"7", "007"},     {"12", "012"},        {"255", "255"},     {"1000", "1000"},   {"0", "0"},
        {"00", "00"},     {"-5", "-5"},         {"+5", "+5"},       {".5", ".5"},       {"5.", "05."},
        {"TIMEH", "0TIMEH"}, {"COUNTH", "COUNTH"}, {"LIMIT", "LIMIT"}, {"P1.0", "P1.0"}, {"", ""},
        {"R0", "R0"},
    };
    for (const auto& [word, normalized] : cases)
        EXPECT_EQ(NormalizeNumber(word), normalized) << "'" << word << "'";
}

TEST(CompilerHelpers, ValuesAndOffsets)
{
    const std::pair<std::string, int> values[] = {{"51H", 81}, {"0AH", 10}, {"0ah", 10}, {"12", 12},
                                                  {"12H", 18}, {"", 0},     {"1010B", 0}, {"NAME", 0},
                                                  {"7FH", 127}, {"XYH", 0}, {"-3.9", -3}, {"1e12", 2147483647}};
    for (const auto& [word, value] : values)
        EXPECT_EQ(NumberValue(word), value) << "'" << word << "'";

    const std::pair<std::string, std::string> offsets[] = {
        {"7FH", "AFH"}, {"0E0H", "10H"}, {"20", "68"}, {"5", "53"}, {"10H", "40H"}, {"", "48"}, {"-50", "-2"}};
    for (const auto& [word, text] : offsets)
        EXPECT_EQ(OffsetNumber(word, 48), text) << "'" << word << "'";

    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(0xAF), "AF");
    EXPECT_EQ(ByteToHex(255), "FF");
}

TEST(CompilerHelpers, SfrNames)
{
    for (const char* name : {"SP", "DPL", "DPH", "PCON", "TCON", "TMOD", "T2CON", "TL0", "TL1", "TH0", "TH1",
                             "SCON", "SBUF", "IE", "IP", "PSW", " PSW ", "\tSP"})
        EXPECT_TRUE(IsSfrName(name)) << name;
    for (const char* name : {"sp", "ACC", "B", "P1", "", "SPX", "S P"})
        EXPECT_FALSE(IsSfrName(name)) << name;
}

TEST(CompilerHelpers, Labels)
{
    CompileContext c;
    EXPECT_EQ(NextLabel(0, c), "PRS0000");
    EXPECT_EQ(NextLabel(1, c), "PRS0001");
    EXPECT_EQ(NextLabel(0, c), "PRS0001");
    c.LabelCounter = 9999;
    EXPECT_EQ(NextLabel(1, c), "PRS10000");
    EXPECT_EQ(LabelDigits(42), "0042");
    EXPECT_EQ(LabelDigits(12345), "12345");
}

TEST(CompilerHelpers, RegisterTables)
{
    CompileContext c;
    const char* counts[] = {"08", "09", "0Ah", "0Bh", "0Ch", "0Dh", "0Eh", "0Fh"};
    for (int d = 1; d <= 8; ++d) {
        ChooseCountRegister(c, d);
        EXPECT_EQ(c.CountRegister, counts[d - 1]);
    }
    ChooseCountRegister(c, 9);
    ChooseCountRegister(c, 0);
    EXPECT_EQ(c.CountRegister, "0Fh");  // invalid digits keep the last choice
    for (int d = 1; d <= 9; ++d) {
        ChooseBufferRegister(c, d);
        EXPECT_EQ(c.BufferRegister, "1" + std::to_string(d - 1) + "h");
    }
    ChooseBufferRegister(c, 0);
    EXPECT_EQ(c.BufferRegister, "18h");
    EXPECT_EQ(DigitAt("LOOP3", 5), 3);
    EXPECT_EQ(DigitAt("LOOP", 5), 0);
    EXPECT_EQ(DigitAt("LOOPX", 5), 0);
}

TEST(SourceFiles, BaseNameCutsOnlyTheFileName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\work\\blink.M51", "C:\\work\\blink.asm"},
        {"C:\\my.dir\\blink.M51", "C:\\my.dir\\blink.asm"},
        {"/tmp/tmp.abc/prog.v2.M51", "/tmp/tmp.abc/prog.asm"},
        {"prog.v2.M51", "prog.asm"},
        {"noext", "noext.asm"},
        {"dir.d/noext", "dir.d/noext.asm"},
        {"", ".asm"},
        {"prog .M51", "prog.asm"},  // trimmed as a field is
        {"/d.x/prog \t.M51", "/d.x/prog.asm"},
    };
    for (const auto& [source, asmName] : cases)
        EXPECT_EQ(AsmFileName(source), asmName) << source;
    EXPECT_EQ(BaseName("a/b.c\\d.e.f"), "a/b.c\\d");
}

TEST(SourceFiles, SplitLinesAsTheEditorLoadsThem)
{
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"", {}},
        {"A", {"A"}},
        {"A\r\n", {"A"}},
        {"A\r\nB", {"A", "B"}},
        {"A\nB\rC\r\nD", {"A", "B", "C", "D"}},
        {"\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {"A\n\rB", {"A", "", "B"}},
        {"A\r\r\n", {"A", ""}},
        {std::string("A\0B\n", 4), {std::string("A\0B", 3)}},
    };
    for (const auto& [bytes, lines] : cases) {
        EXPECT_EQ(SplitSourceLines(bytes), lines);
        const auto views = SplitSourceLineViews(bytes);
        EXPECT_EQ(V(views.begin(), views.end()), lines);
    }
    // Lone CR line ends throughout: still one look at every byte, not one per line.
    std::string crOnly;
    for (int i = 0; i < 300000; ++i)
        crOnly += "NOP\r";
    EXPECT_EQ(SplitSourceLineViews(crOnly).size(), 300000u);
}

// Each kind of error the compiler reports, as a diagnostic on its 1-based
// line beside an entry whose text is unchanged ("<line index> <message>").
TEST(Helpers, EveryErrorKindLandsOnItsLine)
{
    const struct {
        std::vector<std::string> source;
        int line;
        ErrorKind kind;
        const char* printed;  // as m51c prints it after "p.M51:"
    } cases[] = {
        {{"NOP", "", "XYZZY 3"}, 3, ErrorKind::UnknownStatement, "3: unknown statement, no code generated: XYZZY 3"},
        {{"PROCEDURE P", "PROCEDURE P"}, 2, ErrorKind::DuplicateProcedure, "2: Duplicate procedure P"},
        {{"NOP", "WRMEM 1010B"}, 2, ErrorKind::BinaryVariable, "2: binary value"},
        {{"WRMEM 300"}, 1, ErrorKind::VariableAbove207, "1: variable number above 207"},
        {{"NOP", "NOP", "WHILEA=0"}, 3, ErrorKind::WhileWithoutEndwhile, "3: WHILE loop without ENDWHILE"},
        {{"NOP", "ENDWHILE"}, 2, ErrorKind::EndwhileWithoutWhile, "2: ENDWHILE without an open WHILE loop"},
        {{"IFA=0 INLINE IFA=0 INLINE A 1"}, 1, ErrorKind::NestedInline, "1: INLINE inside an inline block"},
    };
    for (const auto& c : cases) {
        const CompileResult r = CompileSource(c.source);
        ASSERT_EQ(r.Diagnostics.size(), r.ErBox.size()) << c.printed;
        ASSERT_FALSE(r.Diagnostics.empty()) << c.printed;
        const Diagnostic& d = r.Diagnostics.front();
        EXPECT_EQ(d.line, c.line) << c.printed;
        EXPECT_EQ(d.kind, c.kind) << c.printed;
        EXPECT_EQ(d.stage, Stage::Compiler);
        EXPECT_FALSE(ErrorReason(d.kind).empty());
        EXPECT_EQ(r.ErBox.front().line, c.line - 1);
        EXPECT_EQ(r.ErBox.front().text, std::to_string(c.line - 1) + ' ' + d.message);
        EXPECT_EQ(FormatDiagnostic(d, "p.M51"), std::string("p.M51:") + c.printed);
    }
    // Runs of duplicate reports and the count of the rest keep step with the entries.
    const CompileResult r = CompileSource(std::vector<std::string>(120, "PROCEDURE X"));
    ASSERT_EQ(r.Diagnostics.size(), r.ErBox.size());
    EXPECT_EQ(r.Diagnostics.back().kind, ErrorKind::MoreDuplicates);
    EXPECT_EQ(r.ErBox.back().text, std::to_string(r.Diagnostics.back().line - 1) + ' ' + r.Diagnostics.back().message);
}
