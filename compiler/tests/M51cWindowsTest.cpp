// m51c on Windows: folders written with backslashes, CR LF line ends without
// text-mode doubling and file names outside the ANSI code page.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

using m51test::ReadFile;
using m51test::RunM51c;
using m51test::ScratchDir;
using m51test::WriteFile;
namespace fs = std::filesystem;

namespace {

fs::path Utf8Path(std::string_view name)
{
    return fs::path(std::u8string(name.begin(), name.end()));
}

} // namespace

TEST(M51cWindows, BackslashesAndAFolderWithADotAndABlank)
{
    ScratchDir dir;
    fs::create_directory(dir / "my v1.2");
    WriteFile(dir / "my v1.2" / "prog.M51", "BEGIN\nA 5\n");
    const std::string expected = "$NOLIST\r\nMov A,#005\r\n";

    auto r = RunM51c({"my v1.2\\prog.M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "my v1.2" / "prog.asm"), expected);

    const std::string absolute = (dir / "my v1.2" / "prog.M51").make_preferred().string();
    r = RunM51c({"-o", "-", absolute}, fs::temp_directory_path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    fs::remove(dir / "my v1.2" / "prog.asm");
    r = RunM51c({absolute}, fs::temp_directory_path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "my v1.2" / "prog.asm"), expected);
}

TEST(M51cWindows, NamesOutsideTheAnsiCodePage)
{
    ScratchDir dir;
    const std::string name = "p\xc5\x99\xc3\xadklad \xce\xbb";  // "příklad λ"
    WriteFile(dir.Path() / Utf8Path(name + ".M51"), "NOP\nFOO\n");
    const auto r = RunM51c({"--lists", name + ".lst", name + ".M51"}, dir.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, name + ".M51:2: unknown statement, no code generated: FOO\n");
    EXPECT_EQ(ReadFile(dir.Path() / Utf8Path(name + ".asm")).substr(0, 5), "NOP\r\n");
    EXPECT_NE(ReadFile(dir.Path() / Utf8Path(name + ".lst")).find("[ErBox]\n1 FOO\n"), std::string::npos);
}
