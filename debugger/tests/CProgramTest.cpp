// m51sim on C programs built with the installed SDCC: several sources, lines
// named FILE:LINE, and the places users name.
#include "simrun/LinePlace.h"
#include "debugger/m51sim/SimOptions.h"
#include "debugger/m51sim/SimRun.h"
#include "toolchain/Build.h"

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

struct CProgram;

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

    // m51sim's arguments for `program` in a folder of its own (its name), then `more`.
    std::vector<std::string> build(const CProgram& program, const std::vector<std::string>& more);

    fs::path m_folder;
};

const char* const TwoFilesMain = R"(#include "shapes.h"

struct point origin;
struct point *last;
float scale = 2.5f;
int total;

void main(void)
{
    int i;
    origin.x = 3;
    origin.y = -4;
    last = &origin;
    for (i = 0; i < 5; i++)
        total += area(last, scale);
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
        {{main, shapes, "--until-line", "15"}, 0, ""},
        {{main, shapes, "--until-line", "shapes.c:60"}, 2, "has no code and none follows"},
        {{main, shapes, "--until-line", "other.c:3"}, 2, "no source file other.c"},
        {{main, shapes, "--until-line", "main.c:16", "--steps", "3"}, 3, "main.c:16 not reached"},
        {{main}, 1, "not part of it"},  // alone, the .c files of its folder
        {{main, shapes, "--coverage", shapes}, 2, "shapes.c"},  // never written over a source
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
    for (const char* record : {"FN:8,main\nFNDA:1,main\n", "DA:15,5\n", "DA:18,0\n"})
        EXPECT_NE(trace.find(record), std::string::npos) << record;
    // area() is in shapes.c's record; its `if` went one way only.
    for (const char* record : {"FN:3,area\nFNDA:5,area\n", "BRDA:6,0,0,0\nBRDA:6,0,1,5\n", "DA:7,5\n"})
        EXPECT_NE(trace.find(record, shapes), std::string::npos) << record << trace;
    EXPECT_NE(profile.find("line," + path("shapes.c") + ",5,,5,"), std::string::npos) << profile;
    EXPECT_NE(profile.find("procedure," + path("shapes.c") + ",3,area,5,"), std::string::npos) << profile;
}

const char* const LargeMain = R"(#include <stdio.h>
#include <8052.h>

__xdata int samples[8];
long sum;
const char *label = "sum";

int putchar(int c)
{
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

void main(void)
{
    unsigned char i;
    SCON = 0x50;
    TMOD = 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    for (i = 0; i < 8; i++)
        samples[i] = i * 100 - 300;
    for (i = 0; i < 8; i++)
        sum += samples[i];
    printf("%s=%ld\n", label, sum);
    while (1)
        ;
}
)";

const char* const RecursiveMain = R"(int depth;
int result;

int fact(int n)
{
    if (n <= 1) {
        depth = n;
        return 1;
    }
    return n * fact(n - 1);
}

void main(void)
{
    result = fact(6);
    while (1)
        ;
}
)";

// Functions that call none: SDCC overlays their locals and writes no debug
// records of them, here all in registers but `b`.
const char* const LeafMain = R"(volatile unsigned char sink;
int last;

unsigned char twice(unsigned char x)
{
    unsigned char y = x + x;
    sink = y;
    return y;
}

int add(int a, int b)
{
    int s = a + b;
    sink = s;
    return s;
}

void main(void)
{
    unsigned char i;
    int total = -100;
    for (i = 1; i < 4; i++)
        total = add(total, twice(i));
    last = total;
    while (1)
        ;
}
)";

// A C program of the table: its files (a project file among them or not)
// and what m51sim runs.
struct CProgram {
    const char* name;
    const char* folder;
    std::map<std::string, std::string> files;
    std::vector<std::string> program;  // the files given to m51sim
};

const CProgram Programs[] = {
    {"two files, a structure and a float", "two",
     {{"main.c", TwoFilesMain}, {"shapes.h", TwoFilesHeader}, {"shapes.c", TwoFilesShapes}},
     {"main.c", "shapes.c"}},
    {"large model, xdata and printf", "large",
     {{"main.c", LargeMain}, {"large.m51proj", "sources = main.c\nmodel = large\n"}},
     {"--project", "large.m51proj"}},
    {"stack-auto and recursion", "rec",
     {{"main.c", RecursiveMain}, {"rec.m51proj", "sources = main.c\nstack-auto = yes\n"}},
     {"--project", "rec.m51proj"}},
    {"functions whose locals SDCC overlays", "leaf", {{"main.c", LeafMain}}, {"main.c"}},
};

std::vector<std::string> CProgramTest::build(const CProgram& program, const std::vector<std::string>& more)
{
    fs::create_directories(m_folder / program.folder);
    std::vector<std::string> args;
    for (const auto& [name, text] : program.files)
        std::ofstream(m_folder / program.folder / name) << text;
    for (const std::string& word : program.program)
        args.push_back(word[0] == '-' ? word : (m_folder / program.folder / word).string());
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Stopped at C lines, variables printed by name with C values; registers
// and addresses keep their hexadecimal.
TEST_F(CProgramTest, VariablesByNameAtCLines)
{
    const struct {
        int program;
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {0, {"--until-line", "main.c:16", "--steps", "20000", "--print", "total", "--print", "origin", "--print", "origin.y",
             "--print", "scale", "--print", "i", "--print", "A"},
         "total=150\norigin={x=3, y=-4}\norigin.y=-4\nscale=2.5\ni=5\nA=00\n"},
        {0, {"--until-line", "shapes.c:8", "--print", "k", "--print", "a", "--print", "last->y", "--print", "*last"},
         "k=2.5\na=12\nlast->y=-4\n*last={x=3, y=-4}\n"},
        {1, {"--until-line", "main.c:29", "--print", "sum", "--print", "samples[0]", "--print", "samples", "--print", "*label"},
         "sum=400\nsamples[0]=-300\nsamples=[-300, -200, -100, 0, 100, 200, 300, 400]\n*label=115\n"},
        {2, {"--until-line", "main.c:10", "--print", "n", "--print", "result"}, "n=6\nresult=0\n"},
        {2, {"--until-line", "main.c:7", "--print", "n"}, "n=1\n"},
        {2, {"--until-line", "main.c:16", "--print", "result", "--print", "depth"}, "result=720\ndepth=1\n"},
        {3, {"--until-line", "main.c:7", "--print", "y"}, "y=2\n"},
        {3, {"--until-line", "main.c:14", "--print", "s", "--print", "b"}, "s=-98\nb=2\n"},
    };
    for (const auto& c : cases) {
        const CProgram& program = Programs[c.program];
        SCOPED_TRACE(program.name);
        const std::vector<std::string> args = build(program, c.args);
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, c.out) << o.err;
    }
    const Outcome unknown = run({path("rec/main.c"), "--until-line", "main.c:16", "--print", "nosuch", "--print", "result"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "result=720\n");
    EXPECT_NE(unknown.err.find("nosuch"), std::string::npos);
}

// Firmware tests of a C program: several sources, FILE:LINE, C checks.
TEST_F(CProgramTest, FirmwareTestsOnC)
{
    write({{"main.c", TwoFilesMain}, {"shapes.h", TwoFilesHeader}, {"shapes.c", TwoFilesShapes},
           {"pass.m51test", "program main.c shapes.c\nuntil line shapes.c:8\ncheck a = 12\ncheck origin = {x=3, y=-4}\n"
                            "check scale = 2.5\ncheck total = 0\ncheck line main.c:15 reached\ncheck line main.c:18 not reached\n"},
           {"fail.m51test", "program main.c shapes.c\nuntil line main.c:16\ncheck total = 151\ncheck origin.y = 0x1F\n"
                            "check nosuch = 1\ncheck scale = 2.4\ncheck P1 = FF\n"}});
    const Outcome o = run({"test", m_folder.string()});
    EXPECT_EQ(o.status, 1) << o.err;
    const std::string fail = path("fail.m51test");
    for (const std::string& line : {std::string("PASS pass ("), fail + ":3: total is 150, expected 151",
                                    fail + ":4: origin.y is -4, expected 0x1F", fail + ":5: nosuch: no such name",
                                    fail + ":6: scale is 2.5, expected 2.4", std::string("1 passed, 1 failed")})
        EXPECT_NE((o.out + o.err).find(line), std::string::npos) << line << "\n" << o.out << o.err;
    EXPECT_EQ((o.out + o.err).find(fail + ":7:"), std::string::npos) << o.out << o.err;
}

#if defined(M51_S51) && defined(M51SIM_PATH)

// s51 is the reference: run to the end of each program, the bytes of every
// variable (by its address in the program model) and the serial line are the
// same on the core and in s51.
TEST_F(CProgramTest, SameBytesAsS51)
{
    for (const CProgram& program : Programs) {
        SCOPED_TRACE(program.name);
        ASSERT_EQ(run(build(program, {"--steps", "1", "--print", "PC"})).status, 0);
        std::string image;
        for (const auto& entry : fs::directory_iterator(m_folder / program.folder))
            if (entry.path().extension() == ".ihx")
                image = entry.path().string();
        std::ifstream hexFile(image);
        const std::string hex((std::istreambuf_iterator<char>(hexFile)), {});
        const toolchain::Program model = toolchain::BuildFor(toolchain::Language::Hex)->run({hex, image, "x.asm"});
        std::vector<std::string> args{image, "--steps", "300000", "--serial-out", path("serial.txt")};
        int variables = 0;
        for (const toolchain::Symbol& symbol : model.symbols) {
            const bool iram = symbol.storage == toolchain::Storage::InternalRam, xram = symbol.storage == toolchain::Storage::ExternalRam;
            if (symbol.scope != toolchain::Scope::Global || (!iram && !xram) || symbol.type < 0)
                continue;
            ++variables;
            for (int i = 0; i < model.types[symbol.type].size; ++i) {
                char item[24];
                std::snprintf(item, sizeof item, "%s[%X]", iram ? "iram" : "xram", static_cast<unsigned>(symbol.address + i));
                args.insert(args.end(), {"--print", item});
            }
        }
        EXPECT_GE(variables, 2);
        const Outcome core = run(args);
        ASSERT_EQ(core.status, 0) << core.err;
        std::ifstream coreSerial(path("serial.txt"));
        const std::string coreSent((std::istreambuf_iterator<char>(coreSerial)), {});
        std::string command = std::string(M51SIM_PATH) + " --simulator " + M51_S51;
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_TRUE(pipe);
        std::string s51;
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            s51 += static_cast<char>(c);
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(core.out, s51);
        std::ifstream s51Serial(path("serial.txt"));
        EXPECT_EQ(coreSent, std::string((std::istreambuf_iterator<char>(s51Serial)), {}));
    }
}

#endif

#endif

} // namespace
