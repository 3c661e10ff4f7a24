// m51sim's whole run called as a function: its exit status, what it prints
// and what it reports.
#include "SimRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
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
