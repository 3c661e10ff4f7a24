// The m51c command line: files, line ends, lists, messages and exit codes.

#include "common/tests/SmallDisk.h"
#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#ifdef __linux__
#include <sys/wait.h>
#endif

using m51test::ReadFile;
using m51test::RunM51c;
using m51test::ScratchDir;
using m51test::WriteFile;
using Names = std::vector<std::string>;

namespace {

const std::string kProgram = "PROCESOR 51\r\nPROCEDURE Main ;start\nA 5\rENDPROC\r\nEND";

} // namespace

TEST(M51c, WritesTheAssemblyBesideTheSource)
{
    ScratchDir dir;  // its name holds a dot: the base name is cut in the file name only
    WriteFile(dir / "blink.v2.M51", kProgram);
    const auto r = RunM51c({"blink.v2.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(dir / "blink.asm"), "$MOD51\r\nMAIN:     ;start\r\nMov A,#005\r\nRet\r\nEND\r\n");
    EXPECT_EQ(dir.Files(), (Names{"blink.asm", "blink.v2.M51"}));

    // A full path works the same way.
    const auto again = RunM51c({(dir / "blink.v2.M51").string()}, "/");
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(dir.Files(), (Names{"blink.asm", "blink.v2.M51"}));
}

TEST(M51c, OutputFileAndStandardOutput)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51", "NOP\nBEGIN\n");
    auto r = RunM51c({"-o", "out.txt", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "out.txt"), "NOP\r\n$NOLIST\r\n");
    EXPECT_EQ(dir.Files(), (Names{"out.txt", "p.M51"}));

    r = RunM51c({"-o", "-", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "NOP\r\n$NOLIST\r\n");

    // Bytes are never re-encoded; an empty source gives an empty file.
    WriteFile(dir / "e.M51", "");
    r = RunM51c({"e.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "e.asm"), "");
    WriteFile(dir / "h.M51", std::string("WRP1 \xe8\x9a;\xff\x00z", 11));
    r = RunM51c({"-o", "-", "h.M51"}, dir.Path());
    EXPECT_EQ(r.out, std::string("Mov P1,#\xe8\x9a     ;\xff\x00z\r\n", 21));
}

TEST(M51c, ListsAndErrors)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51",
              "PROCEDURE Blink\nDEFINE LIMIT 10\nIFA=0 INLINE NOP\nFOO\nWRMEM 1010B\nprocedure blink\nENDPROC\n");
    const auto r = RunM51c({"--lists", "lists.txt", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFile(dir / "lists.txt"),
              "[ProcBox]\n0 BLINK\n5 ERROR - Duplicate blink\n5 BLINK\n"
              "[Definebox]\n1 LIMIT\n"
              "[InlineBox]\nINLINE 1\nNOP\nINLINEEND\n"
              "[ErBox]\n5 Duplicate procedure blink\n3 FOO\n4 binary value\n");
    EXPECT_EQ(r.err, "p.M51:6: Duplicate procedure blink\np.M51:4: unknown statement, no code generated: FOO\np.M51:5: binary value\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "p.asm"));

    // Lists to standard output, after the assembly.
    const auto both = RunM51c({"--lists", "-", "-o", "-", "p.M51"}, dir.Path());
    EXPECT_EQ(both.exitCode, 1);
    EXPECT_NE(both.out.find("Ret\r\n[ProcBox]\n0 BLINK\n"), std::string::npos);
}

TEST(M51c, LineMap)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51", "PROCEDURE P\r\nIFA=0 INLINE NOP\r\n\r\nLOOP1 P\r\n");
    auto r = RunM51c({"--map", "p.map", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // P: / JnZ PRS0001 NOP PRS0001: / " " / Mov 08,#... LP0001: CALL P DJNZ
    EXPECT_EQ(ReadFile(dir / "p.map"), "1 1\n2 2\n3 2\n4 2\n5 3\n6 4\n7 4\n8 4\n");
    r = RunM51c({"--map", "-", "p.M51"}, dir.Path());
    EXPECT_EQ(r.out, ReadFile(dir / "p.map"));
    // The map never takes the place of the source, the assembly or standard output twice.
    EXPECT_EQ(RunM51c({"--map", "p.M51", "p.M51"}, dir.Path()).exitCode, 2);
    EXPECT_EQ(RunM51c({"--map", "p.asm", "p.M51"}, dir.Path()).exitCode, 2);
    EXPECT_EQ(RunM51c({"--map", "-", "-o", "-", "p.M51"}, dir.Path()).exitCode, 2);
    EXPECT_EQ(ReadFile(dir / "p.M51"), "PROCEDURE P\r\nIFA=0 INLINE NOP\r\n\r\nLOOP1 P\r\n");
}

TEST(M51c, UnreadableSource)
{
    ScratchDir dir;
    auto r = RunM51c({"missing.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("missing.M51"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.Files().empty());

    std::filesystem::create_directory(dir / "folder.M51");
    r = RunM51c({"folder.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("folder.M51"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Files(), (Names{"folder.M51"}));
}

TEST(M51c, UnwritableOutputLeavesNoFileBehind)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51", "NOP\n");
    // A folder that does not exist.
    auto r = RunM51c({"-o", "no/such/dir/p.asm", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no/such/dir/p.asm"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Files(), (Names{"p.M51"}));

    // The target is a folder: the complete temporary file cannot replace it and is removed.
    std::filesystem::create_directory(dir / "taken");
    r = RunM51c({"-o", "taken", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("taken"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Files(), (Names{"p.M51", "taken"}));

    // The list file fails: the assembly is not written either, an old one stays as it was.
    WriteFile(dir / "p.asm", "old");
    r = RunM51c({"--lists", "no/such/lists.txt", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(ReadFile(dir / "p.asm"), "old");
    EXPECT_EQ(dir.Files(), (Names{"p.M51", "p.asm", "taken"}));
}

// Outputs onto a full disk, a read-only list file or a full standard output:
// exit 2 with the reason, and every old output as it was.
TEST(M51c, FailedWritesKeepTheOldOutputs)
{
    namespace fs = std::filesystem;
    ScratchDir dir;
    std::string program;
    for (int i = 0; i < 20000; ++i)
        program += "NOP\n";
    WriteFile(dir / "p.M51", program);

    WriteFile(dir / "p.asm", "old");
    WriteFile(dir / "p.lst", "old lists");
    fs::permissions(dir / "p.lst", fs::perms::owner_read);
    auto r = RunM51c({"--lists", "p.lst", "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cannot write p.lst: File is read-only"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "p.asm"), "old");
    EXPECT_EQ(ReadFile(dir / "p.lst"), "old lists");
    fs::permissions(dir / "p.lst", fs::perms::owner_write, fs::perm_options::add);

#ifdef __linux__
    const std::string command = "'" + std::string(M51C_PATH) + "' -o - '" + (dir / "p.M51").string() + "' >/dev/full 2>'" +
                                (dir / "err").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
    EXPECT_NE(ReadFile(dir / "err").find("No space left on device"), std::string::npos) << ReadFile(dir / "err");

    m51test::SmallDisk disk("m51c-full");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    WriteFile(disk.path() / "p.asm", "old");
    WriteFile(disk.path() / "p.map", "old map");
    r = RunM51c({"-o", disk.file("p.asm"), "--map", disk.file("p.map"), "p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(disk.path() / "p.asm"), "old");
    EXPECT_EQ(ReadFile(disk.path() / "p.map"), "old map");
    EXPECT_EQ(std::distance(fs::directory_iterator(disk.path()), fs::directory_iterator()), 2);
#endif
}

// Source text in messages: control bytes as \xNN, a huge line cut short.
TEST(M51c, MessagesQuoteSourceTextSafely)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51", "NOP\nFOO \x1b[2J\x1b]0\x07 3\nXYZZY " + std::string(50u << 20, 'A') + "\n");
    const auto r = RunM51c({"p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_NE(r.err.find("p.M51:2: unknown statement, no code generated: FOO \\x1B[2J\\x1B]0\\x07 3\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("p.M51:3: unknown statement, no code generated: XYZZY AAA"), std::string::npos);
    EXPECT_LT(r.err.size(), 1000u);
    EXPECT_EQ(r.err.substr(r.err.size() - 2), "\x85\n");
}

TEST(M51c, ReadOnlyOutputIsKept)
{
    namespace fs = std::filesystem;
    ScratchDir dir;
    WriteFile(dir / "p.M51", "NOP\n");
    WriteFile(dir / "p.asm", "old");
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(dir / "p.asm", writable, fs::perm_options::remove);
    const auto r = RunM51c({"p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cannot write p.asm"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "p.asm"), "old");
    EXPECT_EQ(dir.Files(), (Names{"p.M51", "p.asm"}));
    fs::permissions(dir / "p.asm", fs::perms::owner_write, fs::perm_options::add);  // lets the folder go
}

TEST(M51c, ReplacesAnOldOutput)
{
    ScratchDir dir;
    WriteFile(dir / "p.M51", "END");
    WriteFile(dir / "p.asm", std::string(10000, 'o'));
    const auto r = RunM51c({"p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "p.asm"), "END\r\n");
}

TEST(M51c, NeverOverwritesItsSource)
{
    ScratchDir dir;
    WriteFile(dir / "p.asm", "NOP\n");
    auto r = RunM51c({"p.asm"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(ReadFile(dir / "p.asm"), "NOP\n");
    r = RunM51c({"--lists", "p.asm", "-o", "q.asm", "p.asm"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(ReadFile(dir / "p.asm"), "NOP\n");
    // The assembly and the lists in one file would lose one of them.
    r = RunM51c({"--lists", "q.asm", "-o", "q.asm", "p.asm"}, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(dir.Files(), (Names{"p.asm"}));
}

TEST(M51c, CommandLine)
{
    ScratchDir dir;
    auto r = RunM51c({"--help"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: m51c [--lists LISTFILE] [--map MAPFILE] [-o OUTFILE] SOURCE"), std::string::npos);
    EXPECT_EQ(RunM51c({"-h"}, dir.Path()).out, r.out);
    r = RunM51c({"--version"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "m51c (Zelvar) " M51_VERSION "\n");

    for (const Names& bad : {Names{}, Names{"-x", "p.M51"}, Names{"-o"}, Names{"a.M51", "b.M51"}}) {
        r = RunM51c(bad, dir.Path());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    }
    EXPECT_TRUE(dir.Files().empty());

    // "--" ends the options, so a source may begin with a dash.
    WriteFile(dir / "-p.M51", "NOP");
    r = RunM51c({"--", "-p.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "-p.asm"), "NOP\r\n");
}
