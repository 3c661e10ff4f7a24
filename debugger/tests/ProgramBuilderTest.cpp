// A program built in memory and the same program loaded from the files the
// build chain leaves (HEX, listing, m51c --map) map the same lines.
#include "debugger/ProgramBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace m51dbg;

TEST(ProgramBuilder, BuildAndLoadAgree)
{
    const std::string source = "PROCESOR 51\nSTARTPROC MAIN\nSTARTADRESS 30H\nPROCEDURE MAIN\n; comment\nA 5\n"
                               "WRP1\nPROCEDURE PARK\nJUMP PARK\nEND\n";
    QTemporaryDir dir;
    const BuildOutput built = BuildM51(source, "prog.M51", dir.path());
    ASSERT_TRUE(built.ok);
    const SourceMap& map = built.program.map;
    EXPECT_EQ(map.sourceLineAddress(1), 0x0000);  // STARTPROC: the reset jump
    EXPECT_EQ(map.sourceLineAddress(5), 0x0030);  // A 5
    EXPECT_EQ(map.sourceLineWithCode(4), 5);      // the comment line goes to A 5
    EXPECT_TRUE(QFile::exists(built.program.hexPath));

    // The listing and a line map as m51c --map writes it.
    QFile listing(dir.filePath("prog.lst")), lineMap(dir.filePath("prog.map"));
    ASSERT_TRUE(listing.open(QIODevice::WriteOnly) && lineMap.open(QIODevice::WriteOnly));
    listing.write(built.program.listing.data(), qint64(built.program.listing.size()));
    const std::vector<Instruction>& instructions = map.instructions();
    for (const Instruction& i : instructions)
        lineMap.write(QByteArray::number(i.asmLine + 1) + ' ' + QByteArray::number(i.sourceLine + 1) + '\n');
    listing.close();
    lineMap.close();
    const BuildOutput loaded = LoadBuiltProgram(built.program.hexPath, listing.fileName(), lineMap.fileName());
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.program.map.sourceLineStarts(), map.sourceLineStarts());

    QFile bad(dir.filePath("bad.map"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("1 1\nx\n");
    bad.close();
    const BuildOutput rejected = LoadBuiltProgram(built.program.hexPath, listing.fileName(), bad.fileName());
    EXPECT_FALSE(rejected.ok);
    ASSERT_EQ(rejected.messages().size(), 1u);
    EXPECT_TRUE(rejected.messages()[0].endsWith("bad.map:2: not \"ASMLINE M51LINE\""));
}

TEST(ProgramBuilder, ErrorsOnM51Lines)
{
    QTemporaryDir dir;
    const BuildOutput built = BuildM51("PROCESOR 51\nFROBNICATE 3\nEND\n", "p.M51", dir.path());
    EXPECT_FALSE(built.ok);
    ASSERT_FALSE(built.messages().empty());
    EXPECT_TRUE(built.messages()[0].startsWith("p.M51:2: "));
}
