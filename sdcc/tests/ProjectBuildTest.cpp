// C projects: the project file read and written back, dependency files, and
// builds with the installed SDCC that compile only what changed.
#include "sdcc/ProjectBuild.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

TEST(CProject, ReadsWritesAndRefuses)
{
    const auto read = sdcc::ReadProject("sources = main.c lib.c ; the program\n"
                                        "chip = 8051\ncrystal = 12\nmodel = large\nstack-auto = yes\n"
                                        "code-size = 8192\noptions = --opt-code-size\nbuild = out\n",
                                        "/p", "blink");
    ASSERT_TRUE(read.errors.empty()) << read.errors[0].message;
    const sdcc::CProject& p = read.project;
    EXPECT_EQ(p.sources, (std::vector<std::string>{"main.c", "lib.c"}));
    EXPECT_EQ(p.imagePath(), fs::path("/p/out/blink.ihx"));
    EXPECT_EQ(sdcc::SdccOptions(p), (std::vector<std::string>{"-mmcs51", "--debug", "--model-large", "--stack-auto",
                                                              "--code-size", "8192", "--iram-size", "128",
                                                              "--opt-code-size"}));
    const auto again = sdcc::ReadProject(sdcc::WriteProject(p), "/p", "blink");
    EXPECT_TRUE(again.errors.empty());
    EXPECT_EQ(sdcc::WriteProject(again.project), sdcc::WriteProject(p));

    const auto bad = sdcc::ReadProject("model = tiny\ncrystal = nan\nstack-auto = maybe\nxram-size = 70000\n"
                                       "colour = red\njust words\n", "/p", "x");
    std::vector<int> lines;
    for (const auto& e : bad.errors)
        lines.push_back(e.line);
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4, 5, 6, 0}));
}

TEST(CProject, DependencyFiles)
{
    EXPECT_EQ(sdcc::ReadDependencies("out/lib.rel: lib.c lib.h \\\n  inc/my\\ file.h\n"),
              (std::vector<std::string>{"lib.c", "lib.h", "inc/my file.h"}));
    EXPECT_TRUE(sdcc::ReadDependencies("no colon here").empty());
}

TEST(CBuild, MissingSdccSaysWhatToInstall)
{
    sdcc::CProject project;
    project.folder = fs::temp_directory_path();
    project.sources = {"none.c"};
    project.buildFolder = "m51-missing-sdcc";
    const auto result = sdcc::BuildProject(project, "/nonexistent/sdcc");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.failure.find("apt-get install sdcc"), std::string::npos) << result.failure;
    fs::remove_all(project.buildPath());
}

#ifdef M51_SDCC
TEST(CBuild, CompilesOnlyWhatChanged)
{
    const fs::path folder = fs::temp_directory_path() / "m51-cbuild-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "lib.h") << "int twice(int a);\n";
    std::ofstream(folder / "lib.c") << "#include \"lib.h\"\nint twice(int a) { return a * 2; }\n";
    std::ofstream(folder / "main.c") << "#include \"lib.h\"\nvoid main(void) { volatile int r = twice(3); while (1); }\n";
    sdcc::CProject project = sdcc::DefaultProject(folder, "main.c");
    project.buildFolder = "build";
    EXPECT_EQ(project.sources, (std::vector<std::string>{"lib.c", "main.c"}));

    auto first = sdcc::BuildProject(project, M51_SDCC);
    ASSERT_TRUE(first.ok) << first.failure << (first.messages.empty() ? "" : first.messages[0].text);
    EXPECT_EQ(first.compiled.size(), 2u);
    EXPECT_TRUE(fs::exists(project.imagePath()));
    EXPECT_TRUE(fs::exists(project.debugPath()));

    auto nothing = sdcc::BuildProject(project, M51_SDCC);
    EXPECT_TRUE(nothing.ok);
    EXPECT_TRUE(nothing.compiled.empty());
    EXPECT_FALSE(nothing.linked);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ofstream(folder / "lib.h", std::ios::app) << "/* touched */\n";
    auto header = sdcc::BuildProject(project, M51_SDCC);
    EXPECT_EQ(header.compiled.size(), 2u);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ofstream(folder / "main.c", std::ios::app) << "int broken = ;\n";
    auto broken = sdcc::BuildProject(project, M51_SDCC);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.compiled, std::vector<std::string>{"main.c"});
    ASSERT_FALSE(broken.messages.empty());
    EXPECT_EQ(broken.messages[0].file, "main.c");
    EXPECT_EQ(broken.messages[0].line, 3);
    fs::remove_all(folder);
}
#endif

} // namespace
