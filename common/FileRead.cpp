#include "common/FileRead.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace m51 {
namespace {

fs::path pathOf(const std::string& name)
{
#ifdef _WIN32
    return fs::path(std::u8string(name.begin(), name.end()));
#else
    return fs::path(name);
#endif
}

std::FILE* openForReading(const std::string& path)
{
#ifdef _WIN32
    return _wfopen(pathOf(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

} // namespace

std::string sizeInWords(std::size_t bytes)
{
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

std::string notAFile(const std::string& path, bool allowPipe)
{
    std::error_code ec;
    const fs::file_status status = fs::status(pathOf(path), ec);
    if (ec)
        return ec == std::errc::no_such_file_or_directory ? std::strerror(ENOENT) : ec.message();
    switch (status.type()) {
    case fs::file_type::regular:
        return {};
    case fs::file_type::directory:
        return "is a folder, not a file";
    case fs::file_type::fifo:
        return allowPipe ? std::string() : "is a named pipe, not a file";
    case fs::file_type::character:
    case fs::file_type::block:
        return "is a device, not a file";
    case fs::file_type::socket:
        return "is a socket, not a file";
    default:
        return "is not a file";
    }
}

std::optional<std::string> readFileBounded(const std::string& path, std::size_t limit, std::string& why,
                                           bool allowPipe)
{
    if (std::string what = notAFile(path, allowPipe); !what.empty()) {
        why = std::move(what);
        return std::nullopt;
    }
    errno = 0;
    std::FILE* f = openForReading(path);
    if (!f) {
        why = std::strerror(errno ? errno : EIO);
        return std::nullopt;
    }
    std::string bytes;
    std::error_code ec;
    if (const auto size = fs::file_size(pathOf(path), ec); !ec && size <= limit)
        bytes.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    std::size_t n;
    bool tooLarge = false;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > limit) {
            tooLarge = true;
            break;
        }
        bytes.append(buffer, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (tooLarge) {
        why = "is larger than the limit of " + sizeInWords(limit);
        return std::nullopt;
    }
    if (failed) {
        why = std::strerror(error ? error : EIO);
        return std::nullopt;
    }
    return bytes;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return fs::equivalent(pathOf(a), pathOf(b), ec) && !ec;
}

std::string outputOverInput(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs)
{
    for (const std::string& out : outputs) {
        if (out.empty() || out == "-")
            continue;
        for (const std::string& in : inputs)
            if (!in.empty() && in != "-" && sameFile(out, in))
                return "the output " + out + " is the input " + in;
    }
    return {};
}

} // namespace m51
