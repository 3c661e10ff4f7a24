// The shared file writing: a failed write never replaces the target nor
// leaves a temporary file, a set of outputs changes all together or not at
// all, and quoted source text carries no control bytes.
#include "common/FileWrite.h"
#include "common/tests/SmallDisk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writePlain(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Files in `folder` other than the named ones (temporary leftovers).
std::vector<std::string> strayFiles(const fs::path& folder, std::initializer_list<std::string> expected)
{
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            stray.push_back(name);
    }
    return stray;
}

class FileWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("m51filewrite-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir / "old.txt", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    std::string file(const char* name) const { return (m_dir / name).string(); }
    fs::path m_dir;
};

TEST_F(FileWriteTest, ReplacesTheTargetAndKeepsItsMode)
{
    writePlain(file("old.txt"), "old");
    fs::permissions(file("old.txt"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(m51::writeFileAtomically(file("old.txt"), "new"), "");
    EXPECT_EQ(readAll(file("old.txt")), "new");
#ifndef _WIN32  // Windows keeps a read-only flag only
    EXPECT_EQ(fs::status(file("old.txt")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif

    EXPECT_EQ(m51::writeFileAtomically(file("fresh.txt"), std::string(3 << 20, 'x')), "");
    EXPECT_EQ(fs::file_size(file("fresh.txt")), 3u << 20);
    EXPECT_TRUE(strayFiles(m_dir, {"old.txt", "fresh.txt"}).empty());
}

// Every failure names its reason, leaves the old file as it was and no
// temporary file behind.
TEST_F(FileWriteTest, AFailedWriteKeepsTheTarget)
{
    writePlain(file("old.txt"), "old");
    fs::permissions(file("old.txt"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(file("folder"));
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {file("old.txt"), "read-only"},
        {file("missing/new.txt"), "does not exist"},
        {file("folder"), "Is a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_NE(m51::writeFileAtomically(c.path, "new").find(c.reason), std::string::npos);
    }
    EXPECT_EQ(readAll(file("old.txt")), "old");
    EXPECT_TRUE(strayFiles(m_dir, {"old.txt", "folder"}).empty());
}

TEST_F(FileWriteTest, AFullDiskKeepsTheTarget)
{
    m51test::SmallDisk disk("m51filewrite-full");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    writePlain(disk.file("old.txt"), "old");
    EXPECT_EQ(m51::writeFileAtomically(disk.file("old.txt"), std::string(200000, 'x')), "No space left on device");
    EXPECT_EQ(readAll(disk.file("old.txt")), "old");
    EXPECT_TRUE(strayFiles(disk.path(), {"old.txt"}).empty());

    m51::AtomicFile piecewise(disk.file("old.txt"));
    for (int i = 0; i < 100; ++i)
        piecewise.write(std::string(5000, 'y'));
    EXPECT_EQ(piecewise.commit(), "No space left on device");
    EXPECT_EQ(readAll(disk.file("old.txt")), "old");
    EXPECT_TRUE(strayFiles(disk.path(), {"old.txt"}).empty());
}

// A set changes all together: one read-only member, a full disk half way, or
// a rename that fails after others have been done leave every old file.
TEST_F(FileWriteTest, AnOutputSetChangesAllOrNothing)
{
    const auto oldSet = [this] {
        for (const char* name : {"p.hex", "p.lst", "p.bin"}) {
            std::error_code ec;
            fs::permissions(file(name), fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(file(name), ec);
            writePlain(file(name), std::string("old ") + name);
        }
    };
    const auto expectOldSet = [this] {
        for (const char* name : {"p.hex", "p.lst", "p.bin"})
            EXPECT_EQ(readAll(file(name)), std::string("old ") + name) << name;
        EXPECT_TRUE(strayFiles(m_dir, {"p.hex", "p.lst", "p.bin"}).empty());
    };

    oldSet();
    fs::permissions(file("p.bin"), fs::perms::owner_read);
    {
        m51::OutputSet set;
        set.add(file("p.hex"), "new");
        set.add(file("p.lst"), "new");
        set.add(file("p.bin"), "new");
        EXPECT_NE(set.commit().find("read-only"), std::string::npos);
        EXPECT_EQ(set.failedPath(), file("p.bin"));
    }
    expectOldSet();

    oldSet();
    {
        m51::OutputSet set;
        set.add(file("p.hex"), "new");
        set.remove(file("p.lst"));
        set.add(file("p.bin"), "new");
        // The last target turns into a folder: its rename fails after the
        // first one has been renamed and the listing removed; both come back.
        fs::remove(file("p.bin"));
        fs::create_directory(file("p.bin"));
        writePlain(file("p.bin") + "/inside", "x");
        EXPECT_NE(set.commit(), "");
        EXPECT_EQ(set.failedPath(), file("p.bin"));
    }
    EXPECT_EQ(readAll(file("p.hex")), "old p.hex");
    EXPECT_EQ(readAll(file("p.lst")), "old p.lst");
    EXPECT_TRUE(strayFiles(m_dir, {"p.hex", "p.lst", "p.bin"}).empty());

    oldSet();
    fs::permissions(file("p.bin"), fs::perms::owner_read);
    {
        m51::OutputSet set;
        set.add(file("p.lst"), "new");
        set.remove(file("p.bin"));
        EXPECT_EQ(set.commit(), "File is read-only");
    }
    expectOldSet();

    oldSet();
    {
        m51::OutputSet set;
        set.add(file("p.hex"), "new hex");
        set.open(file("p.lst")).write("new lst");
        set.remove(file("p.bin"));
        set.remove(file("p.none"));
        EXPECT_EQ(set.commit(), "");
    }
    EXPECT_EQ(readAll(file("p.hex")), "new hex");
    EXPECT_EQ(readAll(file("p.lst")), "new lst");
    EXPECT_TRUE(strayFiles(m_dir, {"p.hex", "p.lst"}).empty());

    m51test::SmallDisk disk("m51filewrite-set");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    writePlain(disk.file("p.hex"), "old");
    writePlain(disk.file("p.bin"), "old");
    m51::OutputSet set;
    set.add(disk.file("p.hex"), "small");
    set.add(disk.file("p.bin"), std::string(200000, 'x'));
    EXPECT_EQ(set.commit(), "No space left on device");
    EXPECT_EQ(set.failedPath(), disk.file("p.bin"));
    EXPECT_EQ(readAll(disk.file("p.hex")), "old");
    EXPECT_EQ(readAll(disk.file("p.bin")), "old");
    EXPECT_TRUE(strayFiles(disk.path(), {"p.hex", "p.bin"}).empty());
}

TEST(QuoteForMessage, WritesControlBytesAndCutsLongText)
{
    const struct {
        std::string text;
        std::size_t max;
        std::string quoted;
    } cases[] = {
        {"MOV A,#1", 200, "MOV A,#1"},
        {"\x1b[2J clear", 200, "\\x1B[2J clear"},
        {"\x1b]0;title\x07", 200, "\\x1B]0;title\\x07"},
        {"a\tb\rc\x7f", 200, "a\tb\\x0Dc\\x7F"},
        {"\x8a\x9e\x81", 200, "\x8a\x9e\\x81"},   // Š ž kept, an undefined byte not
        {std::string("nul\0x", 5), 200, "nul\\x00x"},
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abcdef\x85"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(m51::quoteForMessage(c.text, c.max), c.quoted) << c.text;

    const std::string huge(50u << 20, '\x1b');
    const std::string quoted = m51::quoteForMessage(huge);
    EXPECT_EQ(quoted.size(), 200u * 4 + 1);
}

} // namespace
