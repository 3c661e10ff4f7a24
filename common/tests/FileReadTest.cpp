// Reading inputs within limits: folders, devices and oversized files end in a
// reason that names them, and an output is recognised as an input by the
// file it is, not by its name.
#include "common/FileRead.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path root = fs::temp_directory_path() / ("m51read-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Folder() { fs::create_directories(root); }
    ~Folder() { fs::remove_all(root); }
    std::string file(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(root / name, std::ios::binary) << bytes;
        return (root / name).string();
    }
};

TEST(FileRead, RefusesWhatIsNoFileAndWhatIsTooLarge)
{
    Folder folder;
    const std::string small = folder.file("small.txt", "abc");
    const std::string big = folder.file("big.txt", std::string(2000, 'x'));
    const struct {
        std::string path;
        std::size_t limit;
        std::string why;  // "" reads "abc"
    } cases[] = {
        {small, 100, ""},
        {small, 3, ""},
        {big, 1024, "is larger than the limit of 1 KB"},
        {folder.root.string(), 100, "is a folder, not a file"},
#ifndef _WIN32
        {"/dev/zero", 100, "is a device, not a file"},
#endif
        {(folder.root / "missing").string(), 100, "No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto bytes = m51::readFileBounded(c.path, c.limit, why);
        EXPECT_EQ(why, c.why) << c.path;
        EXPECT_EQ(bytes.has_value(), c.why.empty()) << c.path;
        if (bytes) {
            EXPECT_EQ(*bytes, "abc");
        }
    }
    EXPECT_EQ(m51::sizeInWords(m51::kInputLimit), "16 MB");
}

TEST(FileRead, FindsAnOutputThatIsAnInputUnderAnotherName)
{
    Folder folder;
    const std::string input = folder.file("p.asm", "x");
    const std::string other = folder.file("q.asm", "y");
    fs::create_hard_link(input, folder.root / "link.asm");
    const std::string viaDot = (folder.root / "." / "p.asm").string();
    EXPECT_EQ(m51::outputOverInput({other, "-", ""}, {input}), "");
    EXPECT_EQ(m51::outputOverInput({(folder.root / "new.asm").string()}, {input}), "");
    EXPECT_EQ(m51::outputOverInput({viaDot}, {other, input}), "the output " + viaDot + " is the input " + input);
    EXPECT_TRUE(m51::sameFile((folder.root / "link.asm").string(), input));
}

} // namespace
