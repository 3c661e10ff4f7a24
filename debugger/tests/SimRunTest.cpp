// m51sim's whole run called as a function: its exit status, what it prints
// and what it reports.
#include "debugger/m51sim/SimRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadBack(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

} // namespace

TEST(SimRun, StatusOutputAndMessages)
{
    const std::string program = (std::filesystem::temp_directory_path() / "m51sim_run_test.asm").string();
    std::ofstream(program) << "        MOV P1,#0FAH\n        MOV 30H,#5\n        SJMP $\n        END\n";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;  // expected output (all of it)
        const char* err;  // a part of the messages
    } cases[] = {
        {{"--steps", "100", "--print", "P1", "--print", "iram[30]", program}, 0, "P1=FA\niram[30]=05\n", ""},
        {{"--until-line", "100000", program}, 2, "", "has no code and none follows"},
        {{"--bogus", program}, 2, "", "--bogus"},
        {{"/nonexistent/x.M51"}, 2, "", "cannot read /nonexistent/x.M51"},
        {{"test"}, 2, "", "needs a folder"},
    };
    for (const auto& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ASSERT_TRUE(out && err);
        EXPECT_EQ(m51sim::Run(c.args, out, err), c.status) << c.args.front();
        EXPECT_EQ(ReadBack(out), c.out) << c.args.front();
        EXPECT_NE(ReadBack(err).find(c.err), std::string::npos) << c.args.front() << ": " << ReadBack(err);
        std::fclose(out);
        std::fclose(err);
    }
    std::filesystem::remove(program);
}

// A program of two assembly modules, run from its project file or from one of
// its modules, as Zelvar builds it.
TEST(SimRun, AssemblyProjects)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "m51sim_run_modules";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "start.a51") << "        NAME    START\n        EXTRN   CODE (Add2)\n        CSEG    AT 0\n"
                                           "        MOV     A,#0x05\n        CALL    Add2\n        MOV     P1,A\n"
                                           "Done:   SJMP    Done\n        END\n";
    std::ofstream(folder / "lib.a51") << "        NAME    LIB\n        PUBLIC  Add2\n?PR?LIB SEGMENT CODE\n"
                                         "        RSEG    ?PR?LIB\nAdd2:   ADD     A,#2\n        RET\n        END\n";
    std::ofstream(folder / "prog.a51proj") << "modules = start.a51 lib.a51\ndialect = keil\n";
    std::ofstream(folder / "broken.a51proj") << "modules = missing.a51\n";
    const std::string project = (folder / "prog.a51proj").string(), start = (folder / "start.a51").string();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--steps", "100", "--print", "A", "--print", "P1", project}, 0, "A=07\nP1=07\n", ""},
        {{"--until-line", "lib.a51:6", "--print", "A", "--print", "P1", project}, 0, "A=07\nP1=FF\n", ""},
        {{"--until-line", "6", "--print", "A", start}, 0, "A=07\n", ""},
        {{"--until-line", "6", project}, 2, "", "names the file"},
        {{(folder / "broken.a51proj").string()}, 2, "", "missing.a51"},
    };
    for (const auto& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ASSERT_TRUE(out && err);
        EXPECT_EQ(m51sim::Run(c.args, out, err), c.status) << c.args.back();
        EXPECT_EQ(ReadBack(out), c.out) << c.args.back();
        EXPECT_NE(ReadBack(err).find(c.err), std::string::npos) << ReadBack(err);
        std::fclose(out);
        std::fclose(err);
    }
    // Coverage by module: one record for each.
    const std::string coverage = (folder / "run.info").string();
    std::FILE* out = std::tmpfile();
    ASSERT_EQ(m51sim::Run({"--steps", "100", "--coverage", coverage, project}, out, out), 0);
    std::fclose(out);
    std::ifstream in(coverage);
    const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(trace.find("lib.a51\nFN:5,Add2"), std::string::npos) << trace;
    EXPECT_NE(trace.find("start.a51\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("prog.a51proj"), std::string::npos) << trace;
    in.close();  // Windows removes no file that is open
    std::filesystem::remove_all(folder);
}
