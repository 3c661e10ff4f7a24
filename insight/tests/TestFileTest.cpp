// Firmware test files: what is read from them, the mistakes reported on
// their lines, and runs that pass and fail for the right reasons.
#include "insight/TestRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

using namespace insight;

namespace {

// Files of a test in memory: path -> bytes.
struct Files {
    std::map<std::string, std::string> files;
    m51sim::FileReader reader()
    {
        return [this](const std::string& path, std::string& why) -> std::optional<std::string> {
            const auto it = files.find(path);
            if (it == files.end()) {
                why = "No such file or directory";
                return std::nullopt;
            }
            return it->second;
        };
    }
};

TEST(TestFile, ReadsEveryDirective)
{
    Files files;
    files.files["t/data.bin"] = "xy";
    const TestFile test = ParseTestFile("# a comment\n"
                                        "program ../blink.M51\r\n"
                                        "chip 8051\n"
                                        "xtal 12000000\n"
                                        "limit 5000\n"
                                        "until line 12\n"
                                        "send AB\\r\n"
                                        "sendfile data.bin\n"
                                        "expect OK\n"
                                        "wait 100\n"
                                        "pin P3.2 = 0 at 1000\n"
                                        "pin P3.3 = released when line 7\n"
                                        "pin P1.0 = 1 when iram[40] = 5\n"
                                        "check iram[40] = 0FAH\n"
                                        "check DPTR = 0x1234\n"
                                        "check pin P1.1 = 0\n"
                                        "check serial contains OK\\n\n"
                                        "check line 9 not reached\n"
                                        "check cycles <= 4000\n",
                                        "t/blink.m51test", files.reader(), false);
    ASSERT_TRUE(test.errors.empty()) << test.errors.front();
    EXPECT_EQ(test.name, "blink");
    EXPECT_EQ(test.program, "t/../blink.M51");
    EXPECT_EQ(test.chip, "8051");
    EXPECT_EQ(test.xtal, 12000000.0);
    EXPECT_EQ(test.limit, 5000u);
    EXPECT_EQ(test.untilLine, 12);
    ASSERT_EQ(test.script.size(), 4u);
    EXPECT_EQ(test.script[0].bytes, "AB\r");
    ASSERT_TRUE(test.script[1].file);
    EXPECT_EQ(m51sim::ScriptRunner({test.script[1]}).poll(0, ""), "xy");
    EXPECT_EQ(test.script[3].cycles, 100u);
    ASSERT_EQ(test.pins.size(), 3u);
    EXPECT_EQ(test.pins[0].pin.port, 3u);
    EXPECT_EQ(test.pins[0].cycle, 1000u);
    EXPECT_EQ(test.pins[1].pin.level, -1);
    EXPECT_EQ(test.pins[1].sourceLine, 7);
    EXPECT_EQ(test.pins[2].when, PinChange::When::OnValue);
    EXPECT_EQ(test.pins[2].value, 5u);
    ASSERT_EQ(test.checks.size(), 6u);
    EXPECT_EQ(test.checks[0].value, 0xFAu);
    EXPECT_EQ(test.checks[1].value, 0x1234u);
    EXPECT_EQ(test.checks[2].kind, Check::Kind::Pin);
    EXPECT_EQ(test.checks[3].text, "OK\n");
    EXPECT_EQ(test.checks[4].kind, Check::Kind::NotReached);
    EXPECT_EQ(test.checks[5].cycles, 4000u);
    EXPECT_EQ(test.checks[5].line, 19);
}

TEST(TestFile, MistakesAreReportedOnTheirLines)
{
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"chip 9999", "unknown chip \"9999\""},
        {"limit 0", "limit needs a positive number"},
        {"until 12", "expected until line N"},
        {"send", "send needs text"},
        {"send bad\\q", "send needs text"},
        {"sendfile missing.bin", "cannot read missing.bin: No such file or directory"},
        {"pin P4.0 = 1 at 5", "\"P4.0\" is not a pin"},
        {"pin P1.0 = 2 at 5", "the level is 0, 1 or released"},
        {"pin P1.0 = 1 soon", "expected \"at CYCLE\""},
        {"check iram[400] = 1", "unknown register or address \"iram[400]\""},
        {"check A = G1", "\"G1\" is not a hexadecimal value"},
        {"check A", "expected ITEM = VALUE"},
        {"check line 0 reached", "expected check line N reached"},
        {"check cycles < 10", "expected check cycles <= N"},
        {"check lcd = Hello", "LCD checks need a build with virtual boards"},
        {"board ledboard", "boards need a build with virtual boards"},
        {"frobnicate", "unknown directive \"frobnicate\""},
    };
    Files files;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TestFile test = ParseTestFile(std::string("program p.M51\n\n") + c.line + "\n", "x.m51test", files.reader(), false);
        ASSERT_EQ(test.errors.size(), 1u);
        EXPECT_EQ(test.errors[0].rfind("x.m51test:3: ", 0), 0u) << test.errors[0];
        EXPECT_NE(test.errors[0].find(c.message), std::string::npos) << test.errors[0];
    }
    const TestFile noProgram = ParseTestFile("check A = 1\n", "y.m51test", files.reader(), false);
    ASSERT_EQ(noProgram.errors.size(), 1u);
    EXPECT_EQ(noProgram.errors[0], "y.m51test:1: no program line: a test names the program it runs");
}

// Counts pulses on P1.0 while P3.2 is high, answers "?" with "!" on the
// serial line; stops at DONE when P3.3 goes low.
const char* const Program = R"(PROCESOR 51
BEGIN
STARTPROC MAIN
EXTER0 DISABLE
TIMER0 DISABLE
EXTER1 DISABLE
TIMER1 DISABLE
SERIAL DISABLE
STARTADRESS 30H
PROCEDURE MAIN
WRSP 60H
WRTMOD 20H
WRTH1 0FFH
SETBIT TR1
WRSCON 50H
WRMEM 0 0
LOOPWHILENOTBIT RI
CLEARBIT RI
A 21H
WRSBUF
LOOPWHILENOTBIT TI
CLEARBIT TI
WHILEBIT P3.3
INCADR 30H
ENDWHILE
CLEARBIT P1.0
PROCEDURE DONE
JUMP DONE
PROCEDURE NEVER
INCADR 31H
ENDPROC
END
)";

struct Case {
    const char* name;
    const char* text;
    bool passed;
    const char* failure;  // part of the first failure
};

TEST(TestRun, ExpectationsPassAndFailForTheRightReason)
{
    const Case cases[] = {
        {"passes", "send ?\nexpect !\npin P3.3 = 0 at 5000\nuntil line 27\ncheck serial = !\ncheck P1 = FE\n"
                   "check pin P1.0 = 0\ncheck line 24 reached\ncheck line 30 not reached\ncheck cycles <= 6000\n"
                   "check iram[31] = 0\n",
         true, ""},
        {"wrong value", "send ?\npin P3.3 = 0 at 2000\nuntil line 27\ncheck iram[30] = 0\n", false,
         "t.m51test:5: iram[30] is "},
        {"no answer", "expect !\nlimit 3000\n", false, "t.m51test:2: \"!\" not received within 3000 cycles"},
        {"line not reached", "until line 27\nlimit 3000\n", false, "t.m51test:2: line 27 not reached within 3000 cycles"},
        {"reached the wrong line", "send ?\npin P3.3 = 0 when iram[30] = 3\nuntil line 27\ncheck line 27 not reached\n"
                                   "check iram[30] = 3\n",
         false, "t.m51test:5: line 27 was reached"},
        {"too slow", "send ?\npin P3.3 = 0 when line 24\nuntil line 27\ncheck cycles <= 100\n", false,
         "t.m51test:5: the run took "},
        {"serial differs", "send ?\nexpect !\ncheck serial = ?\n", false, "the program sent \"!\", expected \"?\""},
        {"line without code", "until line 999\n", false, "t.m51test:2: line 999 of p.M51 has no code and none follows"},
    };
    Files files;
    files.files["p.M51"] = Program;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TestFile test = ParseTestFile(std::string("program p.M51\n") + c.text, "t.m51test", files.reader(), false);
        ASSERT_TRUE(test.errors.empty()) << test.errors.front();
        const TestOutcome outcome = RunTest(test, files.reader(), false);
        EXPECT_EQ(outcome.passed, c.passed);
        // With coverage the run goes step by step, without it through the run
        // loop: the same end at the same cycle.
        const TestOutcome stepped = RunTest(test, files.reader(), true);
        EXPECT_EQ(stepped.cycles, outcome.cycles);
        EXPECT_EQ(stepped.instructions, outcome.instructions);
        EXPECT_EQ(stepped.serialOut, outcome.serialOut);
        EXPECT_EQ(stepped.failures, outcome.failures);
        if (!c.passed) {
            ASSERT_FALSE(outcome.failures.empty());
            EXPECT_NE(outcome.failures[0].find(c.failure), std::string::npos) << outcome.failures[0];
        } else if (!outcome.failures.empty()) {
            ADD_FAILURE() << outcome.failures[0];
        }
    }
}

// A board that shows the last level of port 1 it heard of on its "LCD".
struct FakeBoard : TestBoard, sim::Listener {
    int levels = -1;
    sim::Listener& listener() override { return *this; }
    std::string lcdText() const override { return "P1\n" + std::to_string(levels); }
    void pinsChanged(uint64_t, unsigned port, uint8_t value) override
    {
        if (port == 1)
            levels = value;
    }
};

TEST(TestRun, ABoardHearsThePinsAndShowsItsLcd)
{
    Files files;
    files.files["p.M51"] = Program;
    std::string madeFor;
    const BoardFactory factory = [&madeFor](const std::string& path, sim::Machine&, std::string& why) -> std::unique_ptr<TestBoard> {
        madeFor = path;
        if (path.find("missing") != std::string::npos) {
            why = "cannot read it";
            return nullptr;
        }
        return std::make_unique<FakeBoard>();
    };
    const std::string body = "send ?\npin P3.3 = 0 at 3000\nuntil line 27\ncheck serial = !\n";
    const TestFile test = ParseTestFile("program p.M51\nboard lamp.board\n" + body + "check lcd = P1\\n254\n",
                                        "t/x.m51test", files.reader(), true);
    ASSERT_TRUE(test.errors.empty()) << test.errors.front();
    files.files["t/p.M51"] = Program;
    const TestOutcome outcome = RunTest(test, files.reader(), false, factory);
    EXPECT_EQ(madeFor, "t/lamp.board");
    EXPECT_TRUE(outcome.passed) << (outcome.failures.empty() ? "" : outcome.failures[0]);

    const TestFile wrong = ParseTestFile("program p.M51\nboard lamp.board\n" + body + "check lcd = hello\n",
                                         "t/x.m51test", files.reader(), true);
    const TestOutcome shown = RunTest(wrong, files.reader(), false, factory);
    ASSERT_FALSE(shown.passed);
    EXPECT_EQ(shown.failures[0], "t/x.m51test:7: the LCD shows \"P1\\n254\", expected \"hello\"");

    const TestFile missing = ParseTestFile("program p.M51\nboard missing.board\n", "t/x.m51test", files.reader(), true);
    const TestOutcome failed = RunTest(missing, files.reader(), false, factory);
    EXPECT_TRUE(failed.error);
    EXPECT_EQ(failed.failures[0], "t/x.m51test:2: t/missing.board: cannot read it");
    EXPECT_EQ(RunTest(missing, files.reader(), false).failures[0],
              "t/x.m51test:2: t/missing.board: this build has no virtual boards");
}

TEST(TestRun, AFolderOfTestsWithItsReports)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("m51test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir / "tests");
    std::ofstream(dir / "p.M51", std::ios::binary) << Program;
    std::ofstream(dir / "tests" / "a-answers.m51test") << "program ../p.M51\nsend ?\nexpect !\n";
    std::ofstream(dir / "tests" / "b_counts.m51test") << "program ../p.M51\nsend ?\nexpect !\ncheck iram[31] = 1\n";
    std::ofstream(dir / "tests" / "c_broken.m51test") << "program ../missing.M51\n";
    const std::string junit = (dir / "report.xml").string(), trace = (dir / "cov.info").string();
    FolderOptions options{junit, trace, ""};
    m51sim::FileReader reader = [](const std::string& path, std::string& why) -> std::optional<std::string> {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            why = "No such file or directory";
            return std::nullopt;
        }
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunTestFolder((dir / "tests").string(), options, reader, out, err), 1);
    std::rewind(out);
    char buffer[4096] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    const std::string printed(buffer, n);
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(printed.rfind("PASS a-answers (", 0), 0u) << printed;
    EXPECT_NE(printed.find("\nFAIL b_counts: " + (dir / "tests" / "b_counts.m51test").string() + ":4: iram[31] is 00, expected 01\n"),
              std::string::npos) << printed;
    EXPECT_NE(printed.find("\nERROR c_broken: cannot read "), std::string::npos) << printed;
    EXPECT_NE(printed.find("\n1 passed, 2 failed\n"), std::string::npos) << printed;

    std::string why;
    const std::string xml = reader(junit, why).value_or("");
    EXPECT_NE(xml.find("<testsuite name=\"tests\" tests=\"3\" failures=\"1\" errors=\"1\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase name=\"b_counts\""), std::string::npos);
    EXPECT_NE(xml.find("<failure message=\""), std::string::npos);
    EXPECT_NE(xml.find("<system-out>!</system-out>"), std::string::npos);
    // The source path as the test named it; Windows separators may be mixed.
    const auto slashes = [](std::string s) {
        std::replace(s.begin(), s.end(), '\\', '/');
        return s;
    };
    const std::string lcov = slashes(reader(trace, why).value_or(""));
    EXPECT_NE(lcov.find("TN:a_answers\nSF:" + slashes((dir / "tests" / ".." / "p.M51").string()) + "\n"), std::string::npos)
        << lcov;
    fs::remove_all(dir);
}

TEST(JUnit, MarkupAndForeignBytesAreEscaped)
{
    TestOutcome outcome;
    outcome.name = "a<b>&\"c\"";
    outcome.path = "x.m51test";
    outcome.failures = {"x.m51test:2: sent \x01\xE8"};
    outcome.serialOut = "<\r\n>";
    const std::string xml = JUnitXml({outcome}, "suite");
    EXPECT_NE(xml.find("name=\"a&lt;b&gt;&amp;&quot;c&quot;\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("sent \\x01\\xE8"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<system-out>&lt;\\x0D&#10;&gt;</system-out>"), std::string::npos) << xml;
}

} // namespace
