// A program of two assembly modules built as one: the lines of both files,
// the labels of both modules, the errors of either on its own line.
#include "toolchain/LinkedBuild.h"

#include <gtest/gtest.h>

namespace {

const toolchain::ModuleFile kMain{"EXTRN CODE (Blink)\n"
                                  "CSEG AT 0\n"
                                  "Start: LCALL Blink\n"
                                  "  SJMP Start\n",
                                  "main.a51"};
const toolchain::ModuleFile kBlink{"PUBLIC Blink\n"
                                   "?PR?BLINK SEGMENT CODE\n"
                                   "  RSEG ?PR?BLINK\n"
                                   "Blink: CPL P1.0\n"
                                   "  RET\n",
                                   "blink.a51"};

TEST(LinkedBuild, LinesAndLabelsOfEveryModule)
{
    const toolchain::Program p = toolchain::LinkedAssemblyBuild({kBlink}).run({kMain.bytes, kMain.path, "main.a51"});
    ASSERT_TRUE(p.ok) << (p.diagnostics.empty() ? "" : p.diagnostics[0].message);
    ASSERT_EQ(p.files, (std::vector<std::string>{"main.a51", "blink.a51"}));
    const toolchain::Symbol* blink = p.findSymbol("Blink");
    ASSERT_NE(blink, nullptr);
    EXPECT_EQ(blink->file, 1);
    EXPECT_EQ(blink->scope, toolchain::Scope::Global);
    EXPECT_EQ(blink->address, 5);  // after the absolute code at 0-4
    EXPECT_EQ(p.linesAt(5), (std::vector<toolchain::SourceLine>{{1, 3}}));
    EXPECT_EQ(p.linesAt(0), (std::vector<toolchain::SourceLine>{{0, 2}}));
    EXPECT_EQ(p.code[1], 0x00);
    EXPECT_EQ(p.code[2], 0x05);  // LCALL Blink
    ASSERT_NE(p.functionAt(6), nullptr);
    EXPECT_EQ(p.functionAt(6)->name, "Blink");
    EXPECT_EQ(p.map.sourceLineAt(3), 3);  // the first module's lines in the map
}

TEST(LinkedBuild, ErrorsOnTheirFileAndLine)
{
    toolchain::ModuleFile broken = kBlink;
    broken.bytes += "  MOV A,#Nothing\n";
    toolchain::Program p = toolchain::LinkAssemblyModules({kMain, broken});
    ASSERT_FALSE(p.ok);
    ASSERT_EQ(p.diagnostics.size(), 1u);
    EXPECT_EQ(p.diagnostics[0].file, "blink.a51");
    EXPECT_EQ(p.diagnostics[0].line, 6);

    p = toolchain::LinkAssemblyModules({kMain});
    ASSERT_EQ(p.diagnostics.size(), 1u);
    EXPECT_EQ(p.diagnostics[0].file, "main.a51");
    EXPECT_EQ(p.diagnostics[0].line, 1);
    EXPECT_NE(p.diagnostics[0].message.find("undefined name Blink"), std::string::npos);
}

} // namespace
