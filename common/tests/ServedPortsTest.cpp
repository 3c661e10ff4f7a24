#include "common/ServedPorts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

#ifndef _WIN32
#include <unistd.h>

namespace {

// A runtime folder of the test's own, so the user's real entries stay out.
class ServedPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_runtime = fs::temp_directory_path() / ("servedports-" + std::to_string(::getpid()));
        fs::create_directories(m_runtime);
        ::setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
        m_device = (m_runtime / "tty").string();
        std::ofstream(m_device) << "";
    }
    void TearDown() override { fs::remove_all(m_runtime); }

    fs::path m_runtime;
    std::string m_device;
};

} // namespace

TEST_F(ServedPortsTest, ListsWhatIsServedAndForgetsTheRest)
{
    EXPECT_TRUE(m51::ListServedPorts().empty());
    {
        m51::ServedPortEntry zelvar, gone;
        ASSERT_EQ(zelvar.publish({m_device, "Zelvar", "blink\nline"}), "");
        ASSERT_EQ(gone.publish({(m_runtime / "no-such-tty").string(), "m51sim", "x"}), "");
        // An entry of a process that has ended, and one that is no entry.
        const std::string folder = m51::ServedPortsFolder();
        std::ofstream(folder + "/1-dead.port") << "path=" << m_device << "\nprogram=m51sim\npid=999999999\n";
        std::ofstream(folder + "/2-bad.port") << "garbage\n";

        const std::vector<m51::ServedPort> ports = m51::ListServedPorts();
        ASSERT_EQ(ports.size(), 1u);
        EXPECT_EQ(ports[0].path, m_device);
        EXPECT_EQ(ports[0].program, "Zelvar");
        EXPECT_EQ(ports[0].running, "blink line");
        EXPECT_EQ(ports[0].pid, long(::getpid()));
        EXPECT_FALSE(fs::exists(folder + "/1-dead.port"));

        // Published again: the same entry with the new details.
        ASSERT_EQ(zelvar.publish({m_device, "Zelvar", "lcd"}), "");
        ASSERT_EQ(m51::ListServedPorts().size(), 1u);
        EXPECT_EQ(m51::ListServedPorts()[0].running, "lcd");
    }
    // Serving ended: the entries are gone.
    EXPECT_TRUE(m51::ListServedPorts().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(m51::ServedPortsFolder()), fs::directory_iterator()), 1);
}
#endif
