// Hostile sources for the compiler: any byte sequence is a valid input. Each
// case checks what a compile promises whatever the input: it returns, every
// source line yields at least one output line, every entry of the procedure,
// definition and error lists starts with a valid line index and a blank, and
// a second compile of the same lines gives the same result.
// The files in inputs/ are inputs that once made the fuzzer report a fault;
// they stay here so that the fault cannot come back.
#include "compiler/Compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct HostileCase {
    const char* name;
    std::string bytes;
};

std::string repeat(const std::string& piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Every keyword of the language alone, then with odd operands: a compile must
// fill missing operands with empty text and never trip over a strange one.
std::string everyKeyword(const std::string& operands)
{
    static const char* const keywords[] = {
        "PROCEDURE", "ENDPROC", "ENDINTERRUPT", "END", "BEGIN", "PROCESOR", "DEFINEBIT", "DEFINE",
        "STARTADRESS", "STARTPROC", "ASM:", "NOP", "EXTER0", "EXTER1", "TIMER0", "TIMER1", "SERIAL",
        "PUSH", "POP", "A", "B", "WRB", "RDB", "RDADR", "SWAPAB", "WRRAM", "RDRAM", "DPTR", "INCDPTR",
        "WRP0", "RDP0", "WRP1", "RDP1", "WRP2", "RDP2", "WRP3", "RDP3", "+", "-", "A+1", "A-1", "B+1",
        "B-1", "AND", "OR", "XOR", "NOT", "*B", "/B", "SHIFTLEFT", "SHIFTRIGHT", "SHIFTLEFTCARY",
        "SHIFTRIGHTCARY", "COUNT", "COUNT1", "COUNT9", "WRCOUNT", "WRCOUNT8", "RDCOUNT", "RDCOUNT0",
        "LOOP", "LOOP1", "LOOPX", "WRBUFFER", "WRBUFFER9", "@IFA", "1@IFA", "1@IFA=0", "X@IFA<",
        "IFA=0", "IFA>0", "IFA=B", "IFA=", "IFA<B", "IFA<", "IFA>=B", "IFA>=", "IFA<>B", "IFA<>",
        "IFBIT", "IFNOTBIT", "IFCARY", "IFNOTCARY", "RD", "WR", "RDSP", "WRSP", "RDT2CON", "WRT2CON",
        "CLEARBIT", "SETBIT", "CLEAR_C", "CLEAR_A", "WRADR", "INCADR", "DECADR", "LOOPWHILEBIT",
        "LOOPWHILENOTBIT", "WHILEBIT", "WHILENOTBIT", "WHILEA=0", "WHILEA>0", "ENDWHILE",
        "SWAPNIBLES", "JUMP", "SKIP", "NEXTLOOP", "WRMEM", "RDMEM", "DA", "A+C+", "+ADR", "-ADR",
        "A+C+ADR", "WRBADR", "NOTBIT", "A+C+B", "+@R0", "+@R1", "-@R0", "-@R1", "DJNZ", "WRADR@R0",
        "WRADR@R1", "RDADR@R0", "RDADR@R1", "IF", "EXITPROC", "INLINE"};
    std::string out;
    for (const char* keyword : keywords)
        out += std::string(keyword) + operands + "\r\n";
    return out;
}

// Keyword and structure oddities at scale; single odd bytes, megabyte lines and
// long word lists are the compiler's own robustness tests.
std::vector<HostileCase> hostileCases()
{
    return {
        {"EmptyFile", ""},
        {"OnlyLineBreaks", "\r\n\n\r\r\n"},
        {"KeywordsAlone", everyKeyword("")},
        {"KeywordsWithInline", everyKeyword(" INLINE INLINE INLINE")},
        {"KeywordsWithEmptyNumbers", everyKeyword(" H B H")},
        {"KeywordsWithHugeNumbers",
         everyKeyword(" 99999999999999999999999 -2147483649 1e308 FFFFFFFFFFFFFFFFFFFFH")},
        {"KeywordsWithVariableLimits", everyKeyword(" 207 208 -1 255 256 0FFH 100H")},
        {"KeywordsWithPunctuation", everyKeyword(" @ $ = == =5 5= . ; ;;")},
        {"KeywordsWithExit", everyKeyword(" EXITPROC EXITPROC")},
        {"KeywordsWithHighBytes", everyKeyword(" \x9a\xe8 \xff \x80")},
        {"InlineWithoutBlocks", "IFA=0 INLINE\r\nIFA=0 INLINE\r\nLOOP1 INLINE\r\nLOOPWHILEBIT INLINE\r\n"},
        {"InlineNestedConditions", "IFA=0 INLINE IFA>0 INLINE IFBIT P1.0 INLINE NOP\r\n"},
        {"InlineCallsAndExits", "PROCEDURE P\r\nIFA=0 INLINE P 5\r\nIFCARY INLINE EXITPROC\r\nENDPROC\r\n"},
        {"UnbalancedBlocks", "ENDWHILE\r\nENDWHILE\r\nENDPROC\r\nENDPROC\r\nWHILEA=0\r\nWHILEBIT\r\n"},
        {"ManyProcedures", [] {
             std::string out;
             for (int i = 0; i < 3000; ++i)
                 out += "PROCEDURE P" + std::to_string(i % 700) + "\r\nP" + std::to_string(i % 900) + " 1\r\n";
             return out;
         }()},
        {"ManyInlineBlocks", repeat("IFA=0 INLINE A 5 ;c\r\nLOOP2 INLINE NOP\r\n", 5000)},
        {"CopiesOfOneProgram", repeat("PROCEDURE MAIN ;start\r\nMAIN 1\r\nPROCEDURE Flash\r\nFLASH\r\n"
                                      "IFA=0 INLINE FLASH 2\r\nENDPROC\r\n", 400)},
        {"LabelCountersPastTenThousand", repeat("IFA=0 X\r\nLOOP1 Y\r\nWHILEA=0\r\nENDWHILE\r\n", 12000)},
    };
}

// Checks every promise of one compile and returns its result.
m51::CompileResult compileAndCheck(const std::string& bytes)
{
    const std::vector<std::string> lines = m51::SplitSourceLines(bytes);
    const m51::CompileResult result = m51::CompileSource(lines);

    EXPECT_GE(result.Output.size(), lines.size()) << "a source line yielded no output line";
    // Duplicate reports and Call lines are bounded per line, so the lists are too.
    EXPECT_LE(result.ProcBox.size() + result.ErBox.size(), 210 * lines.size());
    EXPECT_EQ(result.LineMap.size(), result.Output.size());
    EXPECT_TRUE(std::is_sorted(result.LineMap.begin(), result.LineMap.end()));
    auto checkIndexed = [&](const std::vector<m51::ListEntry>& list, const char* listName) {
        for (const m51::ListEntry& entry : list) {
            const std::string& text = entry.text;
            const std::size_t digits = text.find_first_not_of("0123456789");
            ASSERT_TRUE(digits != std::string::npos && digits > 0 && text[digits] == ' ')
                << listName << " entry without a line index: " << text.substr(0, 80);
            EXPECT_LT(std::stoull(text.substr(0, digits)), lines.size())
                << listName << " entry beyond the last line: " << text.substr(0, 80);
            EXPECT_TRUE(entry.line >= 0 && static_cast<std::size_t>(entry.line) < lines.size())
                << listName << " entry without its source line: " << text.substr(0, 80);
        }
    };
    checkIndexed(result.ProcBox, "ProcBox");
    checkIndexed(result.Definebox, "Definebox");
    checkIndexed(result.ErBox, "ErBox");
    return result;
}

void expectSameResult(const m51::CompileResult& a, const m51::CompileResult& b)
{
    EXPECT_EQ(a.Output, b.Output);
    EXPECT_EQ(a.LineMap, b.LineMap);
    EXPECT_EQ(a.ProcBox, b.ProcBox);
    EXPECT_EQ(a.Definebox, b.Definebox);
    EXPECT_EQ(a.InlineBox, b.InlineBox);
    EXPECT_EQ(a.ErBox, b.ErBox);
}

class HostileSource : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, CompilesAndKeepsItsPromises)
{
    const m51::CompileResult first = compileAndCheck(GetParam().bytes);
    const m51::CompileResult second = compileAndCheck(GetParam().bytes);
    expectSameResult(first, second);
}

INSTANTIATE_TEST_SUITE_P(Inputs, HostileSource, testing::ValuesIn(hostileCases()),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

// Twelve thousand definitions of one name, each followed by a call: past the
// compile-wide bound a definition writes only its count and a call one Call line.
TEST(HostileDuplicates, StayWithinTheCompileWideBound)
{
    const m51::CompileResult r = compileAndCheck(repeat("PROCEDURE X\r\nX 1\r\n", 12000));
    const auto reports = std::count_if(r.ProcBox.begin(), r.ProcBox.end(), [](const m51::ListEntry& e) {
        return e.text.find(" ERROR - Duplicate ") != std::string::npos;
    });
    EXPECT_EQ(reports, 1000000);
    const auto calls = std::count(r.Output.begin(), r.Output.end(), "Call X");
    EXPECT_GE(calls, 1000000);
    EXPECT_LE(calls, 1000000 + 12000);
    const auto last = std::find_if(r.ErBox.begin(), r.ErBox.end(), [](const m51::ListEntry& e) { return e.line == 23998; });
    ASSERT_NE(last, r.ErBox.end());
    EXPECT_EQ(last->text, "23998 ... and 11999 more duplicates of X");
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The regular files of a folder, in name order; with an extension given, only those.
std::vector<fs::path> filesIn(const fs::path& folder, const std::string& extension = {})
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.'
                && (extension.empty() || entry.path().extension() == extension))
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Inputs the fuzzer once found trouble with, kept as regressions. A missing or
// empty folder would let the test pass without checking anything.
TEST(FuzzFindings, StillCompile)
{
    const std::vector<fs::path> files = filesIn(M51_REGRESSION_DIR);
    ASSERT_FALSE(files.empty()) << "no regression inputs in " << M51_REGRESSION_DIR;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        compileAndCheck(readFile(file));
    }
}

// The sample programs are the seed corpus of the fuzzer; they must compile
// without a single error entry.
TEST(SamplePrograms, CompileWithoutErrors)
{
    const std::vector<fs::path> files = filesIn(M51_EXAMPLES_DIR, ".M51");
    EXPECT_GE(files.size(), 8u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const m51::CompileResult result = compileAndCheck(readFile(file));
        EXPECT_TRUE(result.ErBox.empty()) << result.ErBox.size() << " errors, first: "
                                          << (result.ErBox.empty() ? "" : result.ErBox.front().text);
    }
}

} // namespace
