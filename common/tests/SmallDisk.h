#pragma once
// A folder on a file system of a few kilobytes, for tests of writes onto a
// full disk: a tmpfs mounted for the test's lifetime where the test may mount
// (the super-user on Linux); elsewhere mounted() is false and the test skips.

#include <filesystem>
#include <random>
#include <string>

#if defined(__linux__)
#include <sys/mount.h>
#endif

namespace m51test {

class SmallDisk {
public:
    explicit SmallDisk(const std::string& name, const char* size = "size=64k")
        : m_path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(std::random_device()() % 1000000000u)))
    {
        std::error_code ec;
        std::filesystem::create_directories(m_path, ec);
#if defined(__linux__)
        m_mounted = !ec && ::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size) == 0;
#else
        (void)size;
#endif
    }
    ~SmallDisk()
    {
#if defined(__linux__)
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
#endif
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
    bool m_mounted = false;
};

} // namespace m51test
