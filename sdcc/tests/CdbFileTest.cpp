// The .cdb reader on records as SDCC writes them, on damaged files, and on
// the output of the installed SDCC for a program with every kind of symbol.
#include "sdcc/CdbFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using sdcc::ReadCdb;
using sdcc::Space;

sdcc::Symbol OnlySymbol(const sdcc::CdbReadResult& result)
{
    EXPECT_FALSE(result.error) << result.error->message;
    EXPECT_EQ(result.file.symbols.size(), 1u);
    return result.file.symbols.empty() ? sdcc::Symbol() : result.file.symbols.front();
}

TEST(CdbFile, SymbolsWithTheirScopeStorageAndType)
{
    struct Case {
        const char* record;
        const char* name;
        sdcc::ScopeKind scope;
        Space space;
        const char* type;
        unsigned size;
    };
    const Case cases[] = {
        {"S:G$pt$0_0$0({12}STpoint:S),E,0,0", "pt", sdcc::ScopeKind::Global, Space::InternalLow, "struct point", 12},
        {"S:G$xs$0_0$0({8}DA4d,SI:S),F,0,0", "xs", sdcc::ScopeKind::Global, Space::External, "int [4]", 8},
        {"S:Fa$sc$0_0$0({1}SC:S),E,0,0", "sc", sdcc::ScopeKind::File, Space::InternalLow, "char", 1},
        {"S:G$gp$0_0$0({3}DG,SC:U),E,0,0", "gp", sdcc::ScopeKind::Global, Space::InternalLow, "unsigned char *", 3},
        {"S:G$xp$0_0$0({2}DX,SC:U),E,0,0", "xp", sdcc::ScopeKind::Global, Space::InternalLow, "__xdata unsigned char *", 2},
        {"S:G$ll$0_0$0({8}SI:S),E,0,0", "ll", sdcc::ScopeKind::Global, Space::InternalLow, "long long", 8},
        {"S:G$flag$0_0$0({1}SB0$1:U),H,0,0", "flag", sdcc::ScopeKind::Global, Space::Bit, "unsigned int : 1", 1},
        {"S:G$P1_0$0_0$0({1}SX:U),J,0,0", "P1_0", sdcc::ScopeKind::Global, Space::Sbit, "__sbit", 1},
        {"S:Lp.twice$local$1_0$2({2}SI:S),R,0,0,[]", "local", sdcc::ScopeKind::Local, Space::Register, "int", 2},
        {"S:La.fl$q$1_0$4({4}SF:S),R,0,0,[r4,r5,r6,r7]", "q", sdcc::ScopeKind::Local, Space::Register, "float", 4},
        {"S:Lb.main$r$1_0$4({2}SI:S),B,1,-3", "r", sdcc::ScopeKind::Local, Space::InternalStack, "int", 2},
        {"S:G$msg$0_0$0({3}DA3d,SC:U),D,0,0", "msg", sdcc::ScopeKind::Global, Space::CodeStatic, "unsigned char [3]", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        const sdcc::Symbol symbol = OnlySymbol(ReadCdb(c.record));
        EXPECT_EQ(symbol.name, c.name);
        EXPECT_EQ(symbol.scope.kind, c.scope);
        EXPECT_EQ(symbol.space, c.space);
        EXPECT_EQ(sdcc::DescribeType(symbol.type), c.type);
        EXPECT_EQ(symbol.type.size, c.size);
    }
    const sdcc::Symbol q = OnlySymbol(ReadCdb("S:La.fl$q$1_0$4({4}SF:S),R,0,0,[r4,r5,r6,r7]"));
    EXPECT_EQ(q.scope.module, "a");
    EXPECT_EQ(q.scope.function, "fl");
    EXPECT_EQ(q.level, 1);
    EXPECT_EQ(q.block, 4);
    EXPECT_EQ(q.registers, (std::vector<std::string>{"r4", "r5", "r6", "r7"}));
    const sdcc::Symbol r = OnlySymbol(ReadCdb("S:Lb.main$r$1_0$4({2}SI:S),B,1,-3"));
    EXPECT_TRUE(r.onStack);
    EXPECT_EQ(r.stackOffset, -3);
}

TEST(CdbFile, FunctionsStructuresAndLinkerRecords)
{
    const char* text =
        "M:a\n"
        "F:G$isr$0_0$0({2}DF,SV:S),C,0,0,1,1,2\r\n"
        "T:Fa$point[({0}S:S$x$0_0$0({2}SI:S),Z,0,0)({11}S:S$b2$0_0$0({1}SB3$5:U),Z,0,0)]\n"
        "L:G$pt$0_0$0:21\n"
        "L:XG$add$0$0:85\n"
        "L:C$a.c$13$1_0$2:6D\n"
        "L:A$a$546:6F\n"
        "Y:a record of a later SDCC\n";
    const auto result = ReadCdb(text);
    ASSERT_FALSE(result.error) << result.error->message;
    const sdcc::CdbFile& file = result.file;
    EXPECT_EQ(file.modules, std::vector<std::string>{"a"});
    ASSERT_EQ(file.functions.size(), 1u);
    EXPECT_TRUE(file.functions[0].isInterrupt);
    EXPECT_EQ(file.functions[0].interruptNumber, 1);
    EXPECT_EQ(file.functions[0].registerBank, 2);
    EXPECT_EQ(sdcc::DescribeType(file.functions[0].symbol.type), "void ()");
    ASSERT_EQ(file.structures.size(), 1u);
    ASSERT_EQ(file.structures[0].members.size(), 2u);
    EXPECT_EQ(file.structures[0].name, "point");
    EXPECT_EQ(file.structures[0].members[1].offset, 11u);
    EXPECT_EQ(file.structures[0].members[1].symbol.type.chain[0].bitOffset, 3);
    EXPECT_EQ(file.structures[0].members[1].symbol.type.chain[0].bitWidth, 5);
    ASSERT_EQ(file.addresses.size(), 2u);
    EXPECT_EQ(file.addresses[0].address, 0x21u);
    EXPECT_FALSE(file.addresses[0].isEnd);
    EXPECT_TRUE(file.addresses[1].isEnd);
    EXPECT_EQ(file.addresses[1].name, "add");
    ASSERT_EQ(file.cLines.size(), 1u);
    EXPECT_EQ(file.cLines[0].file, "a.c");
    EXPECT_EQ(file.cLines[0].line, 13);
    EXPECT_EQ(file.cLines[0].address, 0x6Du);
    ASSERT_EQ(file.asmLines.size(), 1u);
    EXPECT_EQ(file.asmLines[0].line, 546);
}

TEST(CdbFile, DamagedFilesNameTheirLine)
{
    const struct {
        const char* text;
        int line;
    } cases[] = {
        {"M:a\nS:G$x$0_0$0({2}SI:S),E,0\n", 2},
        {"S:G$x$0_0$0({2}QQ:S),E,0,0\n", 1},
        {"M:a\n\nL:C$a.c$x$0$0:10\n", 3},
        {"L:G$x$0$0:zz\n", 1},
        {"S:G$x$0_0$0({2}SI:S),E,0,0 trailing\n", 1},
        {"T:Fa$s[({0}S:S$x$0_0$0({2}SI:S),Z,0,0\n", 1},
        {"S:G$x$0_0$0({99999999999}SI:S),E,0,0\n", 1},
        {"garbage\n", 1},
        {"S:La.f$r$1_0$1({2}SI:S),R,0,0,[r1,r2,r3,r4,r5,r6,r7,r0,r1]\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = ReadCdb(c.text);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->line, c.line);
        EXPECT_FALSE(result.error->message.empty());
    }
    EXPECT_TRUE(ReadCdb(std::string(300, 'M').insert(1, ":"), 100).error);
}

#ifdef M51_SDCC
// SDCC's own output for small and large models and --stack-auto: every record
// reads, and the names the debugger needs are there with their storage.
TEST(CdbFile, ReadsWhatSdccWrites)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("m51cdb" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    std::ofstream(folder / "prog.c") << "struct point { int x; unsigned char y; long z; float f; unsigned b:3; };\n"
                                        "struct point pt; __xdata int xs[4]; __bit flag; long long ll;\n"
                                        "int twice(int a) __reentrant { int local = a * 2; return local; }\n"
                                        "void tick(void) __interrupt(1) { flag = !flag; }\n"
                                        "void main(void) { int i; for (i = 0; i < 4; i++) xs[i] = twice(i); pt.f = 1.5f;\n"
                                        "  while (1) ; }\n";
    for (const char* options : {"", "--model-large", "--stack-auto"}) {
        SCOPED_TRACE(options);
        const std::string command = std::string("cd '") + folder.string() + "' && " M51_SDCC " --debug " + options
            + " prog.c >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(folder / "prog.cdb", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const auto result = ReadCdb(text.str());
        ASSERT_FALSE(result.error) << result.error->line << ": " << result.error->message;
        const sdcc::CdbFile& file = result.file;
        auto hasSymbol = [&](const char* name, Space space) {
            for (const auto& s : file.symbols)
                if (s.name == name && s.space == space)
                    return true;
            return false;
        };
        EXPECT_TRUE(hasSymbol("xs", Space::External));
        EXPECT_TRUE(hasSymbol("flag", Space::Bit));
        EXPECT_TRUE(hasSymbol("pt", options == std::string("--model-large") ? Space::External : Space::InternalLow));
        EXPECT_GE(file.functions.size(), 3u);
        EXPECT_FALSE(file.cLines.empty());
        EXPECT_FALSE(file.asmLines.empty());
        EXPECT_EQ(file.structures.size(), 1u);
        // The .cdb has no address for the bit; the relocated listing does.
        std::ifstream rst(folder / "prog.rst", std::ios::binary);
        std::stringstream listing;
        listing << rst.rdbuf();
        sdcc::CdbFile withBits = file;
        AddListingAddresses(listing.str(), withBits);
        auto placed = [](const sdcc::CdbFile& f, const char* name) {
            return std::count_if(f.addresses.begin(), f.addresses.end(), [&](const auto& a) { return a.name == name && !a.isEnd; });
        };
        EXPECT_EQ(placed(file, "flag"), 0);
        EXPECT_EQ(placed(withBits, "flag"), 1);
        EXPECT_EQ(placed(withBits, "xs"), 1);  // already known: not added twice
    }
    fs::remove_all(folder);
}
#endif

} // namespace
