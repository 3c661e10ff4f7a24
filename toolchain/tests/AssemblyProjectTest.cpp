// The assembly program Zelvar builds from one of its sources: the project
// file read, the modules of a folder found, the program linked from any of
// them with the lines of every module, the dialect setting written back.
#include "toolchain/AssemblyProject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() : m_path(fs::temp_directory_path() / ("asmproject-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~Folder() { fs::remove_all(m_path); }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(m_path / name, std::ios::binary) << text;
        return (m_path / name).string();
    }
    std::string path(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

const char* kStart = "  EXTRN CODE (Main)\n  CSEG AT 0\n  LJMP Main\n";
const char* kMain = "  PUBLIC Main\n  EXTRN CODE (Delay)\n?PR?MAIN SEGMENT CODE\n  RSEG ?PR?MAIN\n"
                    "Main: LCALL Delay\n  SJMP Main\n";
const char* kDelay = "  PUBLIC Delay\n?PR?DELAY SEGMENT CODE\n  RSEG ?PR?DELAY\nDelay: RET\n";

TEST(AssemblyProject, ReadsItsKeysAndNamesItsMistakes)
{
    struct Case {
        const char* text;
        size_t modules;
        m51asm::Dialect dialect;
        size_t placements;
        int problemLine;  // 0: none; -1: the file as a whole
    };
    const Case cases[] = {
        {"modules = a.a51 b.a51 ; two\r\ndialect = keil\r\n", 2, m51asm::Dialect::Keil, 0, 0},
        {"modules = a.a51\nplace = ?PR?A=0100H X=0x20\n", 1, m51asm::Dialect::Auto, 2, 0},
        {"MODULES = a.a51\nDialect = AS31\n", 1, m51asm::Dialect::As31, 0, 0},
        {"modules = a.a51\ndialect = tasm\n", 1, m51asm::Dialect::Auto, 0, 2},
        {"modules = a.a51\nplace = ?PR?A\n", 1, m51asm::Dialect::Auto, 0, 2},
        {"modules a.a51\n", 0, m51asm::Dialect::Auto, 0, 1},
        {"; nothing\n\ncolour = red\n", 0, m51asm::Dialect::Auto, 0, 3},
        {"dialect = keil\n", 0, m51asm::Dialect::Keil, 0, -1},
    };
    for (const Case& c : cases) {
        const toolchain::AssemblyProject p = toolchain::ReadAssemblyProject(c.text, "/p/x.a51proj");
        SCOPED_TRACE(c.text);
        EXPECT_EQ(p.modules.size(), c.modules);
        EXPECT_EQ(p.dialect, c.dialect);
        EXPECT_EQ(p.placements.size(), c.placements);
        ASSERT_EQ(p.problems.size(), c.problemLine ? 1u : 0u);
        if (c.problemLine) {
            EXPECT_EQ(p.problems[0].line, std::max(0, c.problemLine));
        }
    }
    EXPECT_EQ(std::filesystem::path(toolchain::ReadAssemblyProject("modules = sub/b.a51", "/p/x.a51proj").modules[0]),
              std::filesystem::path("/p/sub/b.a51").lexically_normal());
}

TEST(AssemblyProject, ModuleSources)
{
    EXPECT_TRUE(toolchain::IsModuleSource(kStart));
    EXPECT_TRUE(toolchain::IsModuleSource("X: rseg CODE_SEG\n"));
    EXPECT_TRUE(toolchain::IsModuleSource("code_seg segment code\n"));
    EXPECT_FALSE(toolchain::IsModuleSource("; PUBLIC in a comment\n  ORG 0\n  MOV A,#1 ; RSEG\n"));
    EXPECT_FALSE(toolchain::IsModuleSource("  DB 'PUBLIC'\n"));
}

// A folder of module sources (and one program on its own) builds into one
// program from whichever module is opened: the same image, the opened
// module's lines in the source map, every module's lines and labels.
TEST(AssemblyProject, FolderModulesBuildOneProgramFromAnyOfThem)
{
    Folder folder;
    const std::string start = folder.write("a_start.a51", kStart);
    const std::string main = folder.write("b_main.asm", kMain);
    const std::string delay = folder.write("c_delay.A51", kDelay);
    const std::string alone = folder.write("alone.asm", "  ORG 0\n  SJMP $\n");

    std::vector<uint8_t> image;
    for (const std::string& opened : {start, main, delay}) {
        SCOPED_TRACE(opened);
        std::ifstream in(opened, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const toolchain::AssemblyProject project = toolchain::AssemblyProjectFor(opened, bytes);
        EXPECT_TRUE(project.linked);
        EXPECT_EQ(project.modules, (std::vector<std::string>{start, main, delay}));
        const toolchain::Program p = toolchain::BuildAssemblyProject(project, opened, bytes);
        ASSERT_TRUE(p.ok) << (p.diagnostics.empty() ? "" : p.diagnostics[0].message);
        if (image.empty())
            image = p.code;
        EXPECT_EQ(p.code, image);
        EXPECT_EQ(p.assembly, bytes);
        EXPECT_EQ(p.files, project.modules);
        const toolchain::Symbol* delaySymbol = p.findSymbol("Delay");
        ASSERT_NE(delaySymbol, nullptr);
        EXPECT_EQ(delaySymbol->file, 2);
        EXPECT_EQ(p.linesAt(uint16_t(delaySymbol->address)), (std::vector<toolchain::SourceLine>{{2, 3}}));
    }
    EXPECT_EQ(image[0], 0x02);  // LJMP Main, Main right after it
    EXPECT_EQ(image[2], 0x03);
    EXPECT_FALSE(toolchain::AssemblyProjectFor(alone, "  ORG 0\n  SJMP $\n").linked);

    // The editor's text of the opened module is built, not the file on disk.
    const toolchain::Program edited =
        toolchain::BuildAssemblyProject(toolchain::AssemblyProjectFor(main, kMain), main, std::string(kMain) + "  MOV A,#Nothing\n");
    ASSERT_FALSE(edited.ok);
    EXPECT_EQ(edited.diagnostics[0].file, main);
    EXPECT_EQ(edited.diagnostics[0].line, 7);
}

// A project file decides the modules, their order, the dialect and the
// placements; a project of one absolute source only sets its dialect.
TEST(AssemblyProject, ProjectFileOrderDialectAndPlacements)
{
    Folder folder;
    const std::string start = folder.write("start.a51", kStart);
    const std::string main = folder.write("main.a51", kMain);
    const std::string delay = folder.write("delay.a51", std::string(kDelay) + "  MOV A,#0x10\n");
    folder.write("other.a51", kDelay);  // a module of the folder the project leaves out
    folder.write("prog.a51proj", "modules = start.a51 delay.a51 main.a51\ndialect = keil\nplace = ?PR?MAIN=0200H\n");
    const toolchain::AssemblyProject project = toolchain::AssemblyProjectFor(main, kMain);
    EXPECT_EQ(project.file, folder.path("prog.a51proj"));
    ASSERT_EQ(project.modules, (std::vector<std::string>{start, delay, main}));
    const toolchain::Program p = toolchain::BuildAssemblyProject(project, main, kMain);
    ASSERT_TRUE(p.ok) << (p.diagnostics.empty() ? "" : p.diagnostics[0].message);
    EXPECT_EQ(p.findSymbol("Main")->address, 0x200);
    EXPECT_EQ(p.map.sourceLineAt(0x200), 4);  // main.a51's lines are the map's

    const std::string single = folder.write("keil.a51", "  ORG 0\n  MOV A,#0x2F\n");
    folder.write("keil.a51proj", "modules = keil.a51\ndialect = keil\n");
    const toolchain::AssemblyProject alone = toolchain::AssemblyProjectFor(single, "  ORG 0\n  MOV A,#0x2F\n");
    EXPECT_FALSE(alone.linked);
    const toolchain::Program keil = toolchain::BuildAssemblyProject(alone, single, "  ORG 0\n  MOV A,#0x2F\n");
    ASSERT_TRUE(keil.ok);
    EXPECT_EQ(keil.code[1], 0x2F);

    folder.write("broken.a51proj", "modules = broken.a51\ndialect = tasm\n");
    const toolchain::Program broken =
        toolchain::BuildAssemblyProject(toolchain::AssemblyProjectFor(folder.path("broken.a51"), ""), folder.path("broken.a51"), "");
    ASSERT_EQ(broken.diagnostics.size(), 1u);
    EXPECT_EQ(broken.diagnostics[0].file, folder.path("broken.a51proj"));
}

TEST(AssemblyProject, DialectWrittenIntoTheProject)
{
    toolchain::AssemblyProject none;
    none.modules = {"/p/a.a51", "/p/b.a51"};
    EXPECT_EQ(toolchain::WithDialect("", none, m51asm::Dialect::Keil), "modules = a.a51 b.a51\r\ndialect = keil\r\n");
    toolchain::AssemblyProject file;
    file.file = "/p/x.a51proj";
    EXPECT_EQ(toolchain::WithDialect("modules = a.a51\r\nDialect = asm51 ; old\r\n", file, m51asm::Dialect::As31),
              "modules = a.a51\r\ndialect = as31\r\n");
    EXPECT_EQ(toolchain::WithDialect("; mine\nmodules = a.a51", file, m51asm::Dialect::Auto),
              "; mine\nmodules = a.a51\ndialect = auto\n");
    EXPECT_EQ(std::filesystem::path(toolchain::NewProjectPathFor("/p/blink.a51")), std::filesystem::path("/p/blink.a51proj"));

    // Zelvar's setting: a project file made for a source without one, then changed; the build reads it.
    Folder folder;
    const std::string source = folder.write("blink.a51", "  ORG 0\n  MOV A,#0x2F\n");
    std::string project;
    EXPECT_EQ(toolchain::SaveDialect(source, "  ORG 0\n  MOV A,#0x2F\n", m51asm::Dialect::As31, project), "");
    EXPECT_EQ(project, folder.path("blink.a51proj"));
    EXPECT_EQ(toolchain::SaveDialect(source, "  ORG 0\n  MOV A,#0x2F\n", m51asm::Dialect::Keil, project), "");
    const toolchain::AssemblyProject saved = toolchain::AssemblyProjectFor(source, "  ORG 0\n  MOV A,#0x2F\n");
    EXPECT_EQ(saved.file, project);
    EXPECT_EQ(saved.dialect, m51asm::Dialect::Keil);
    EXPECT_TRUE(toolchain::BuildAssemblyProject(saved, source, "  ORG 0\n  MOV A,#0x2F\n").ok);
    // A project file of that name that lists other sources is not written over.
    const std::string other = folder.write("other.a51", "  NOP\n");
    folder.write("other.a51proj", "modules = blink.a51\n");
    EXPECT_NE(toolchain::SaveDialect(other, "  NOP\n", m51asm::Dialect::Keil, project), "");
}

} // namespace
