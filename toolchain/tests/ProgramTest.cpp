// The program model each build fills: symbols with their storage and scope,
// functions with their ranges, the lines by address, and diagnostics named
// for messages.
#include "toolchain/Build.h"
#include "toolchain/LineTable.h"

#include <gtest/gtest.h>

using namespace toolchain;

namespace {

const char* const Blinker =
    "PROCESOR 51\n"
    "BEGIN\n"
    "STARTPROC MAIN\n"
    "EXTER0 DISABLE\n"
    "TIMER0 DISABLE\n"
    "EXTER1 DISABLE\n"
    "TIMER1 DISABLE\n"
    "SERIAL DISABLE\n"
    "STARTADRESS 30H\n"
    "DEFINEBIT LED P1.1\n"
    "DEFINE LIMIT 0AH\n"
    "PROCEDURE MAIN\n"
    "SETBIT LED\n"
    "TOGGLE\n"
    "JUMP MAIN\n"
    "PROCEDURE toggle\n"
    "NOP\n"
    "ENDPROC\n"
    "END\n";

} // namespace

TEST(Program, M51NamesAreTypedSymbolsAndProceduresFunctions)
{
    const Program program = M51Build().run({Blinker, "blink.M51", "blink.asm"});
    ASSERT_TRUE(program.ok);
    EXPECT_EQ(program.language, Language::M51);
    const struct {
        const char* name;
        Storage storage;
        int32_t address;
    } cases[] = {{"led", Storage::Bit, 0x91}, {"LIMIT", Storage::Constant, 10}};
    for (const auto& c : cases) {
        const Symbol* symbol = program.findSymbol(c.name);
        ASSERT_NE(symbol, nullptr) << c.name;
        EXPECT_EQ(symbol->storage, c.storage) << c.name;
        EXPECT_EQ(symbol->address, c.address) << c.name;
        EXPECT_EQ(symbol->scope, Scope::Global) << c.name;
        EXPECT_GE(symbol->line, 9) << c.name;
    }
    ASSERT_EQ(program.functions.size(), 2u);
    const Function& main = program.functions[0];
    const Function& toggle = program.functions[1];
    EXPECT_EQ(main.name, "MAIN");
    EXPECT_EQ(toggle.name, "TOGGLE");
    EXPECT_EQ(main.end, toggle.start);
    EXPECT_GT(toggle.end, toggle.start);
    EXPECT_EQ(program.functionAt(toggle.start), &toggle);
    EXPECT_EQ(program.functionAt(static_cast<uint16_t>(toggle.start - 1)), &main);
    // The compiler's own labels are no names of the program.
    for (const Symbol& symbol : program.symbols) {
        if (symbol.scope == Scope::Global) {
            EXPECT_TRUE(program.findSymbol(symbol.name) == &symbol);
        }
    }
    // Every line with code is found again by its address.
    for (const auto& [line, address] : program.map.sourceLineStarts()) {
        const std::vector<SourceLine> lines = program.linesAt(address);
        EXPECT_NE(std::find(lines.begin(), lines.end(), SourceLine{0, line}), lines.end()) << line;
        EXPECT_EQ(program.rangesOf(0, line).front().first, address) << line;
    }
}

TEST(Program, AssemblySymbolsKeepTheirStorageAndLabelsStartFunctions)
{
    const Program program = AssemblyBuild(true).run({"COUNT DATA 30H\nFLAG BIT 20H.0\nBUF XDATA 100H\n"
                                                     "TEN EQU 10\nSTART: MOV COUNT,#TEN\nLOOP: SJMP LOOP\nEND\n",
                                                     "", "t.asm"});
    ASSERT_TRUE(program.ok);
    const struct {
        const char* name;
        Storage storage;
        int32_t address;
    } cases[] = {{"COUNT", Storage::InternalRam, 0x30}, {"FLAG", Storage::Bit, 0},
                 {"BUF", Storage::ExternalRam, 0x100}, {"TEN", Storage::Constant, 10},
                 {"START", Storage::Code, 0}, {"LOOP", Storage::Code, 3}};
    for (const auto& c : cases) {
        const Symbol* symbol = program.findSymbol(c.name);
        ASSERT_NE(symbol, nullptr) << c.name;
        EXPECT_EQ(symbol->storage, c.storage) << c.name;
        EXPECT_EQ(symbol->address, c.address) << c.name;
    }
    EXPECT_EQ(program.types.at(program.findSymbol("COUNT")->type).size, 1);
    ASSERT_EQ(program.functions.size(), 2u);
    EXPECT_EQ(program.functions[0].end, 3u);
    EXPECT_EQ(program.functions[1].end, 5u);
}

TEST(Program, DiagnosticsNameTheirFiles)
{
    const struct {
        Language language;
        const char* source;
        const char* message;  // the start of the first message
    } cases[] = {
        {Language::M51, "PROCESOR 51\nFROBNICATE 7\nEND\n", "b.M51:2: "},
        {Language::Assembly, "        FROB A\n        END\n", "src/b.asm:1: "},
        {Language::Hex, ":10000000\n", "b.hex:1: not a valid Intel HEX file"},
    };
    for (const auto& c : cases) {
        const Program program = BuildFor(c.language)->run({c.source, "", "b.asm"});
        EXPECT_FALSE(program.ok);
        const std::string source = c.language == Language::Hex ? "b.hex" : "b.M51";
        const std::vector<Diagnostic> named = NamedDiagnostics(program, source, "src/b.asm");
        ASSERT_FALSE(named.empty());
        EXPECT_EQ(FormatBuildMessage(named[0]).rfind(c.message, 0), 0u) << FormatBuildMessage(named[0]);
    }
}

TEST(Program, InputKindByName)
{
    const std::pair<const char*, Language> cases[] = {
        {"a/blink.M51", Language::M51}, {"x.A51", Language::Assembly}, {"x.asm", Language::Assembly},
        {"prog.HEX", Language::Hex},    {"prog.ihx", Language::Hex},   {"dir.hex/prog", Language::M51},
    };
    for (const auto& [path, language] : cases)
        EXPECT_EQ(LanguageOf(path), language) << path;
}

TEST(Program, HexBuildReadsDebugInformationBeside)
{
    const HexBuild build({[](Program& program, const BuildInput& input) {
        Symbol entry;
        entry.name = "entry";
        entry.storage = Storage::Code;
        program.symbols.push_back(entry);
        program.files.push_back(input.path);
    }});
    const Program program = build.run({":0100000000FF\n:00000001FF\n", "p.hex", ""});
    ASSERT_TRUE(program.ok);
    EXPECT_EQ(program.codeLabels(), (std::vector<std::pair<std::string, uint16_t>>{{"entry", 0}}));
    EXPECT_EQ(program.files, std::vector<std::string>{"p.hex"});
    EXPECT_TRUE(HexBuild({[](Program&, const BuildInput&) { FAIL() << "read without an image"; }})
                    .run({"nonsense", "", ""})
                    .diagnostics.size() == 1);
}

namespace {

// Where lines begin: lines the assembler's map made begin at their first
// instruction only; lines read from debug information begin at every range
// (a loop's line at its test and at its step), and of two lines beginning at
// one address the later one holds the code.
TEST(LineTable, WhereLinesBeginByWhatMadeThem)
{
    const std::vector<LineRange> lines{{0, 4, 0x10, 2}, {0, 5, 0x12, 3}, {1, 2, 0x15, 2}, {0, 4, 0x17, 1},
                                       {1, 7, 0x18, 2}, {1, 8, 0x18, 2}};
    struct Case {
        bool fromMap;
        uint16_t address;
        std::optional<SourceLine> starting;  // the line `address` begins
        std::optional<SourceLine> covering;
    };
    const Case cases[] = {
        {true, 0x10, SourceLine{0, 4}, SourceLine{0, 4}},  {true, 0x17, std::nullopt, SourceLine{0, 4}},
        {true, 0x15, SourceLine{1, 2}, SourceLine{1, 2}},  {true, 0x11, std::nullopt, SourceLine{0, 4}},
        {false, 0x17, SourceLine{0, 4}, SourceLine{0, 4}}, {false, 0x18, SourceLine{1, 8}, SourceLine{1, 8}},
        {false, 0x30, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        Program program;
        program.lines = lines;
        if (c.fromMap)
            program.map = SourceMap({}, {{1, 0x10, 1}});
        const LineTable table(program);
        EXPECT_EQ(table.startingAt(c.address), c.starting) << c.fromMap << ' ' << c.address;
        EXPECT_EQ(table.lineAt(c.address), c.covering) << c.fromMap << ' ' << c.address;
        EXPECT_EQ(table.lineAddress({0, 4}), 0x10);
        EXPECT_EQ(table.lineWithCode(1, 3), 7);
        EXPECT_EQ(table.lineWithCode(1, 9), std::nullopt);
    }
}

} // namespace
