// The m51as command line (files, messages, exit codes), and every sample
// program as the compiler turns it out: it assembles, and the address map read
// back from its listing is the one the assembler made.
#include "assembler/Assembler.h"
#include "assembler/m51as/CommandLine.h"
#include "compiler/Compiler.h"
#include "common/tests/SmallDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Scratch {
public:
    Scratch()
    {
        m_path = fs::temp_directory_path() / ("m51as-test-" + std::to_string(std::random_device()()));
        fs::create_directories(m_path);
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, ec);
        fs::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int exitCode;
    std::string out, err;
};

std::string Drain(std::FILE* f)
{
    std::rewind(f);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    std::fclose(f);
    return text;
}

Outcome RunM51as(const std::vector<std::string>& args)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = m51as::Run(args, out, err);
    return {code, Drain(out), Drain(err)};
}

} // namespace

TEST(M51as, CleanSourceWritesHexBinAndListing)
{
    Scratch dir;
    Write(dir / "prog.v2.asm", "ORG 2\nMAIN: SJMP MAIN\nEND\n");
    const Outcome r = RunM51as({dir / "prog.v2.asm"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Read(dir / "prog.v2.hex"), ":0200020080FE7E\r\n:00000001FF\r\n");
    EXPECT_EQ(Read(dir / "prog.v2.bin"), "\x80\xFE");
    EXPECT_NE(Read(dir / "prog.v2.lst").find("0 errors"), std::string::npos);

    const Outcome o = RunM51as({"-o", dir / "out", dir / "prog.v2.asm"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_TRUE(fs::exists(dir / "out.hex") && fs::exists(dir / "out.bin") && fs::exists(dir / "out.lst"));
    EXPECT_EQ(m51as::DefaultBase("a.b/prog"), "a.b/prog");
    EXPECT_EQ(m51as::DefaultBase("dir/.hidden"), "dir/.hidden");
}

TEST(M51as, ErrorsRemoveTheImagesAndGoToStandardError)
{
    Scratch dir;
    Write(dir / "p.hex", "stale");
    Write(dir / "p.bin", "stale");
    Write(dir / "p.asm", "NOP\nFOO\nJZ 1000H\n");
    const Outcome r = RunM51as({dir / "p.asm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, dir / "p.asm" + ":2: unknown mnemonic FOO\n" + dir / "p.asm" +
                         ":3: jump target 1000H is out of range: 4093 bytes away, JZ reaches -128 to +127\n");
    EXPECT_FALSE(fs::exists(dir / "p.hex"));
    EXPECT_FALSE(fs::exists(dir / "p.bin"));
    const std::string listing = Read(dir / "p.lst");
    EXPECT_NE(listing.find("FOO\r\n*** ERROR: unknown mnemonic FOO\r\n"), std::string::npos);
    EXPECT_TRUE(listing.ends_with("2 errors\r\n"));
}

// A failed write leaves the whole old set (listing, HEX, BIN) as it was, with
// exit 2 and the reason: a read-only output, a full disk, a full standard output.
TEST(M51as, FailedWritesKeepTheOldSet)
{
    const auto oldSet = [](const std::string& base) {
        for (const char* ext : {".hex", ".bin", ".lst"}) {
            std::error_code ec;
            fs::permissions(base + ext, fs::perms::owner_read | fs::perms::owner_write, ec);
            Write(base + ext, std::string("old") + ext);
        }
    };
    const auto expectOldSet = [](const std::string& base) {
        for (const char* ext : {".hex", ".bin", ".lst"})
            EXPECT_EQ(Read(base + ext), std::string("old") + ext) << ext;
    };
    Scratch dir;
    Write(dir / "p.asm", "NOP\n");
    Write(dir / "bad.asm", "FOO\n");
    for (const char* readOnly : {".hex", ".bin", ".lst"}) {
        for (const char* source : {"p.asm", "bad.asm"}) {
            SCOPED_TRACE(std::string(source) + " with " + readOnly + " read-only");
            oldSet(dir / "out");
            fs::permissions(dir / "out" + readOnly, fs::perms::owner_read);
            const Outcome r = RunM51as({"-o", dir / "out", dir / source});
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_NE(r.err.find("out" + std::string(readOnly) + ": File is read-only"), std::string::npos) << r.err;
            expectOldSet(dir / "out");
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5);

#ifdef __linux__
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(m51as::Run({"-o", dir / "q", dir / "p.asm"}, full, err), 2);
    std::fclose(full);
    EXPECT_NE(Drain(err).find("No space left on device"), std::string::npos);

    m51test::SmallDisk disk("m51as-full");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    oldSet(disk.file("big"));
    std::string program = "ORG 0\n";
    for (int i = 0; i < 4000; ++i)
        program += "MOV A,#" + std::to_string(i % 200) + "\n";
    Write(dir / "big.asm", program);
    const Outcome r = RunM51as({"-o", disk.file("big"), dir / "big.asm"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    expectOldSet(disk.file("big"));
    EXPECT_EQ(std::distance(fs::directory_iterator(disk.path()), fs::directory_iterator()), 3);
#endif
}

// Source text in messages: control bytes as \xNN, a huge line cut short.
TEST(M51as, MessagesQuoteSourceTextSafely)
{
    Scratch dir;
    Write(dir / "p.asm", "\x1b[2J\x1b]0\x07 A\nNOP\n" + std::string(50u << 20, 'B') + "\n");
    const Outcome r = RunM51as({dir / "p.asm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err.substr(0, 300);
    EXPECT_EQ(r.err.find('\x07'), std::string::npos);
    EXPECT_NE(r.err.find("\\x1B"), std::string::npos) << r.err.substr(0, 300);
    EXPECT_LT(r.err.size(), 2000u);
}

TEST(M51as, CommandLineAndFileProblems)
{
    Scratch dir;
    EXPECT_EQ(RunM51as({"--help"}).exitCode, 0);
    EXPECT_NE(RunM51as({"--version"}).out.find("m51as"), std::string::npos);
    EXPECT_EQ(RunM51as({}).exitCode, 2);
    EXPECT_EQ(RunM51as({"--bogus", "x.asm"}).exitCode, 2);
    EXPECT_EQ(RunM51as({"a.asm", "b.asm"}).exitCode, 2);
    const Outcome missing = RunM51as({dir / "none.asm"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos);

    // An output that would replace the source, and a folder that cannot be written.
    Write(dir / "p.lst", "NOP\n");
    EXPECT_EQ(RunM51as({dir / "p.lst"}).exitCode, 2);
    EXPECT_EQ(Read(dir / "p.lst"), "NOP\n");
    Write(dir / "q.asm", "NOP\n");
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (!fs::exists(dir / "ro/probe")) {
        std::ofstream probe(dir / "ro/probe");
        if (!probe) {  // not running as a user that ignores permissions
            const Outcome ro = RunM51as({"-o", dir / "ro/q", dir / "q.asm"});
            EXPECT_EQ(ro.exitCode, 2);
            EXPECT_TRUE(fs::is_empty(dir / "ro"));
        }
    }
}

TEST(M51as, InputsThatAreNoFilesAndErrorFloodsEndInOneClearMessage)
{
    Scratch dir;
    fs::create_directories(dir / "folder");
    Write(dir / "inc.asm", "$INCLUDE(folder)\nNOP\n");
    Write(dir / "bomb.asm", "REPT 10000\nREPT 10000\nNOP\nENDM\nENDM\nEND\n");
    std::string undefined;
    for (int i = 0; i < 250; ++i)
        undefined += "LJMP NOWHERE" + std::to_string(i) + "\n";
    Write(dir / "flood.asm", undefined);
    struct Case {
        std::string file;
        std::string message;  // in the standard error
        int errorLines;       // lines of standard error
    };
    std::vector<Case> cases = {
        {dir / "folder", "cannot read " + dir / "folder" + ": is a folder, not a file", 1},
        {dir / "inc.asm", "include file " + dir / "folder" + " is a folder, not a file", 1},
        {dir / "bomb.asm", "macro expansions pass the limit", 1},
        {dir / "flood.asm", "150 more errors like this not shown, from: undefined symbol NOWHERE100", 101},
    };
#ifndef _WIN32
    cases.push_back({"/dev/zero", "cannot read /dev/zero: is a device, not a file", 1});
#endif
    for (const auto& c : cases) {
        const Outcome r = RunM51as({c.file});
        EXPECT_NE(r.exitCode, 0) << c.file;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err.substr(0, 2000);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.errorLines) << c.file;
    }
}

TEST(M51as, EverySampleAssemblesAndItsListingGivesTheMapBack)
{
    int samples = 0;
    for (const auto& entry : fs::directory_iterator(M51_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".M51")
            continue;
        ++samples;
        const std::string bytes = Read(entry.path().string());
        const m51::CompileResult compiled = m51::CompileSource(m51::SplitSourceLines(bytes));
        std::string source;
        for (const std::string& line : compiled.Output)
            source += line + "\r\n";
        m51asm::AssembleOptions options;
        options.ignoreNolist = true;
        const m51asm::AssembleResult r = m51asm::Assemble(source, options);
        EXPECT_TRUE(r.errors.empty()) << entry.path() << ": " << r.errors.front().line << " " << r.errors.front().message;
        EXPECT_FALSE(r.addressMap.empty());
        EXPECT_EQ(m51asm::ReadListingAddressMap(r.listing), r.addressMap) << entry.path();
    }
    EXPECT_GE(samples, 8);
}

TEST(M51as, IncludeFoldersAndMessagesFromIncludedFiles)
{
    // Beside the source first, then -I in order; errors name the included
    // file and the line that included it; --shortest-jumps shortens a forward JMP.
    const Scratch dir;
    fs::create_directories(dir / "sub");
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    Write(dir / "sub/prog.a51", "$INCLUDE(a.inc)\n$INCLUDE(b.inc)\nJMP L\nL: DB VA, VB\n");
    Write(dir / "sub/a.inc", "VA EQU 1\n");
    Write(dir / "one/a.inc", "VA EQU 9\n");
    Write(dir / "one/b.inc", "VB EQU 2\n");
    Write(dir / "two/b.inc", "VB EQU 8\n");
    Outcome r = RunM51as({"-I", dir / "one", "-I" + (dir / "two"), dir / "sub/prog.a51"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string image = Read(dir / "sub/prog.bin");
    EXPECT_EQ(image, std::string("\x02\x00\x03\x01\x02", 5));
    r = RunM51as({"--shortest-jumps", "-I", dir / "one", dir / "sub/prog.a51"});
    EXPECT_EQ(Read(dir / "sub/prog.bin"), std::string("\x80\x00\x01\x02", 4));

    Write(dir / "one/b.inc", "NOP\nMOV A,NOWHERE\n");
    r = RunM51as({"-I", dir / "one", dir / "sub/prog.a51"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, dir / "one/b.inc" + ":2: undefined symbol NOWHERE (included from " + dir / "sub/prog.a51" +
                         ":2)\n" + dir / "sub/prog.a51" + ":4: undefined symbol VB\n");
}

TEST(M51as, DialectOptionAndWarnings)
{
    Scratch dir;
    Write(dir / "k.a51", "JMP L\n$WARNING(check the clock)\nL: NOP\n");
    const Outcome keil = RunM51as({"--dialect", "keil", dir / "k.a51"});
    EXPECT_EQ(keil.exitCode, 0) << keil.err;
    EXPECT_EQ(Read(dir / "k.bin"), std::string("\x80\x00\x00", 3));
    EXPECT_EQ(keil.err, dir / "k.a51" + ":2: warning: check the clock\n");
    const Outcome asm51 = RunM51as({"--dialect=asm51", dir / "k.a51"});
    EXPECT_EQ(asm51.exitCode, 0) << asm51.err;
    EXPECT_EQ(Read(dir / "k.bin"), std::string("\x02\x00\x03\x00", 4));
    const Outcome bad = RunM51as({"--dialect", "tasm", dir / "k.a51"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err.rfind("m51as: unknown dialect tasm (asm51, keil or as31)\n", 0), 0u) << bad.err;
}
