// m51sim on C programs built with the installed SDCC: several sources, lines
// named FILE:LINE, and the places users name.
#include "LinePlace.h"
#include "SimOptions.h"
#include "SimRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(CProgramPlaces, LinePlacesAndSourceFiles)
{
    const struct {
        const char* text;
        const char* file;  // nullptr: refused
        int line;
    } places[] = {
        {"12", "", 12}, {"main.c:7", "main.c", 7}, {"src/a.c:1", "src/a.c", 1}, {"C:\\w\\a.c:3", "C:\\w\\a.c", 3},
        {"main.c:", nullptr, 0}, {":4", nullptr, 0}, {"main.c:0", nullptr, 0}, {"x", nullptr, 0}, {"a.c:3x", nullptr, 0},
    };
    for (const auto& p : places) {
        const auto place = m51sim::ParseLinePlace(p.text);
        ASSERT_EQ(place.has_value(), p.file != nullptr) << p.text;
        if (place) {
            EXPECT_EQ(place->file, p.file);
            EXPECT_EQ(place->line, p.line);
        }
    }
    toolchain::Program program;
    program.files = {"/w/src/main.c", "/w/lib/util.c", "/w/src/util.c"};
    program.lines = {{0, 4, 0x10, 2}, {0, 6, 0x12, 3}, {0, 6, 0x0C, 1}, {2, 0, 0x20, 1}};
    const struct {
        const char* file;
        int line;
        int foundLine;  // 0-based, -1 refused
        unsigned address;
    } starts[] = {
        {"main.c", 1, 4, 0x10}, {"src/main.c", 7, 6, 0x0C}, {"/w/src/main.c", 6, 6, 0x0C}, {"main.c", 8, -1, 0},
        {"util.c", 1, -1, 0},   {"src/util.c", 1, 0, 0x20}, {"ain.c", 1, -1, 0},          {"other.c", 1, -1, 0},
    };
    for (const auto& s : starts) {
        const m51sim::LineStart start = m51sim::FindLineStart(program, {s.file, s.line});
        EXPECT_EQ(start.line, s.foundLine) << s.file << ":" << s.line << " " << start.error;
        EXPECT_EQ(start.file < 0, s.foundLine < 0) << s.file;
        if (start.file >= 0) {
            EXPECT_EQ(start.address, s.address) << s.file;
        }
    }
    EXPECT_EQ(m51sim::ParseArguments({"a.c", "b.c"}).options.moreSources, std::vector<std::string>{"b.c"});
    EXPECT_NE(m51sim::ParseArguments({"a.c", "b.M51"}).error, "");
    EXPECT_EQ(m51sim::ParseArguments({"--project", "p.m51proj"}).options.source, "p.m51proj");
    EXPECT_NE(m51sim::ParseArguments({"--project", "p.m51proj", "a.c"}).error, "");
}

#ifdef M51_SDCC

std::string ReadBack(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

// A folder of C sources written for one test.
class CProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDCC", M51_SDCC, 1);
        m_folder = fs::temp_directory_path() / ("m51sim_c_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed())
                                                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    void write(const std::map<std::string, std::string>& files)
    {
        for (const auto& [name, text] : files)
            std::ofstream(m_folder / name) << text;
    }
    std::string path(const std::string& name) const { return (m_folder / name).string(); }

    // m51sim's status, output and messages.
    struct Outcome {
        int status = -1;
        std::string out, err;
    };
    Outcome run(const std::vector<std::string>& args)
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome outcome;
        outcome.status = m51sim::Run(args, out, err);
        outcome.out = ReadBack(out);
        outcome.err = ReadBack(err);
        std::fclose(out);
        std::fclose(err);
        return outcome;
    }

    fs::path m_folder;
};

const char* const TwoFilesMain = R"(#include "shapes.h"

struct point origin;
float scale = 2.5f;
int total;

void main(void)
{
    int i;
    origin.x = 3;
    origin.y = -4;
    for (i = 0; i < 5; i++)
        total += area(&origin, scale);
    while (1)
        ;
}
)";
const char* const TwoFilesHeader = "struct point { int x; int y; };\nint area(struct point *p, float k);\n";
const char* const TwoFilesShapes = R"(#include "shapes.h"

int area(struct point *p, float k)
{
    int a = p->x * p->y;
    if (a < 0)
        a = -a;
    return (int)(a * k);
}
)";

TEST_F(CProgramTest, SeveralSourcesStopAtLinesOfAnyFile)
{
    write({{"main.c", TwoFilesMain}, {"shapes.h", TwoFilesHeader}, {"shapes.c", TwoFilesShapes}, {"unused.c", "#error not part of it\n"}});
    const std::string main = path("main.c"), shapes = path("shapes.c");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* err;  // a part of the messages
    } cases[] = {
        {{main, shapes, "--until-line", "shapes.c:5"}, 0, ""},
        {{main, shapes, "--until-line", "shapes.c:1"}, 0, "line 1 of shapes.c has no code; stopping at line 3"},
        {{main, shapes, "--until-line", "13"}, 0, ""},
        {{main, shapes, "--until-line", "shapes.c:60"}, 2, "has no code and none follows"},
        {{main, shapes, "--until-line", "other.c:3"}, 2, "no source file other.c"},
        {{main, shapes, "--until-line", "main.c:16", "--steps", "3"}, 3, "main.c:16 not reached"},
        {{main}, 1, "not part of it"},  // alone, the .c files of its folder
    };
    for (const auto& c : cases) {
        const Outcome o = run(c.args);
        EXPECT_EQ(o.status, c.status) << c.args.back() << ": " << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << c.args.back() << ": " << o.err;
    }
}

// Coverage and profile by C file, line and function: what ran, how often,
// and which way a C line's branch went.
TEST_F(CProgramTest, CoverageAndProfileByCFile)
{
    write({{"main.c", TwoFilesMain}, {"shapes.h", TwoFilesHeader}, {"shapes.c", TwoFilesShapes}});
    const std::string lcov = path("run.info"), csv = path("run.csv");
    const Outcome o = run({path("main.c"), path("shapes.c"), "--steps", "5000", "--coverage", lcov, "--profile", csv});
    ASSERT_EQ(o.status, 0) << o.err;
    std::ifstream lcovFile(lcov), csvFile(csv);
    const std::string trace((std::istreambuf_iterator<char>(lcovFile)), {});
    const std::string profile((std::istreambuf_iterator<char>(csvFile)), {});
    const size_t shapes = trace.find("SF:" + path("shapes.c") + "\n");
    ASSERT_NE(trace.find("SF:" + path("main.c") + "\n"), std::string::npos) << trace;
    ASSERT_NE(shapes, std::string::npos) << trace;
    for (const char* record : {"FN:7,main\nFNDA:1,main\n", "DA:13,5\n", "DA:16,0\n"})
        EXPECT_NE(trace.find(record), std::string::npos) << record;
    // area() is in shapes.c's record; its `if` went one way only.
    for (const char* record : {"FN:3,area\nFNDA:5,area\n", "BRDA:6,0,0,0\nBRDA:6,0,1,5\n", "DA:7,5\n"})
        EXPECT_NE(trace.find(record, shapes), std::string::npos) << record << trace;
    EXPECT_NE(profile.find("line," + path("shapes.c") + ",5,,5,"), std::string::npos) << profile;
    EXPECT_NE(profile.find("procedure," + path("shapes.c") + ",3,area,5,"), std::string::npos) << profile;
}

#endif

} // namespace
