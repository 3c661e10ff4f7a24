#include "common/FileWrite.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace m51 {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;

fs::path pathOf(const std::string& name)
{
#ifdef _WIN32
    return fs::path(std::u8string(name.begin(), name.end()));
#else
    return fs::path(name);
#endif
}

std::string reasonFor(int error)
{
    switch (error) {
    case 0:
    case EIO:
        return "Input/output error";
    case ENOENT:
    case ENOTDIR:
        return "Folder does not exist";
    case EACCES:
    case EPERM:
        return "Permission denied";
    case ENOSPC:
        return "No space left on device";
    default:
        return std::strerror(error);
    }
}

// The file a write really goes to: a symbolic link stays a link and the file
// it points at gets the new bytes.
std::string resolvedTarget(const std::string& path)
{
#ifndef _WIN32
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved))
            return resolved;
    }
#endif
    return path;
}

#ifdef _WIN32
int openNew(const std::string& path)
{
    return _wopen(pathOf(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const char* data, std::size_t size)
{
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    return _write(fd, data, chunk);
}
int syncFile(int fd) { return _commit(fd); }
int closeFile(int fd) { return _close(fd); }
#else
int openNew(const std::string& path)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}
long writeSome(int fd, const char* data, std::size_t size)
{
    return static_cast<long>(::write(fd, data, size));
}
int syncFile(int fd)
{
    int r;
    do
        r = ::fsync(fd);
    while (r != 0 && errno == EINTR);
    // A pipe or a character device cannot be synced and needs not be.
    return r != 0 && (errno == EINVAL || errno == EROFS) ? 0 : r;
}
int closeFile(int fd) { return ::close(fd); }
#endif

bool isReadOnly(const std::string& path, const fs::file_status& status)
{
    if (!fs::is_regular_file(status))
        return false;
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
        return true;
#ifndef _WIN32
    if (::access(path.c_str(), W_OK) != 0 && errno == EACCES)
        return true;
#else
    (void)path;
#endif
    return false;
}

} // namespace

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path))
{
    const std::string target = resolvedTarget(m_path);
    std::error_code ec;
    const fs::file_status status = fs::status(pathOf(target), ec);
    if (fs::is_directory(status)) {
        fail("Is a folder");
        return;
    }
    if (isReadOnly(target, status)) {
        fail("File is read-only");
        return;
    }

    std::random_device random;
    std::mt19937 generator(random());
    for (int attempt = 0; attempt < 32; ++attempt) {
        m_temp = target + "." + std::to_string(generator() % 100000000u) + ".tmp";
        m_fd = openNew(m_temp);
        if (m_fd >= 0 || errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temp.clear();
        fail(reasonFor(error));
        return;
    }
#ifndef _WIN32
    // The replaced file keeps its mode and, where allowed, its owner.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (::fchmod(m_fd, st.st_mode & 07777) != 0) {
            fail(reasonFor(errno));
            return;
        }
        if (::geteuid() == 0)
            (void)!::fchown(m_fd, st.st_uid, st.st_gid);
    }
#endif
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::fail(std::string reason)
{
    if (m_error.empty())
        m_error = reason.empty() ? "Input/output error" : std::move(reason);
}

bool AtomicFile::writeAll(std::string_view bytes)
{
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0 && ok()) {
        const long n = writeSome(m_fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(reasonFor(n < 0 ? errno : ENOSPC));
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return ok();
}

bool AtomicFile::flushBuffer()
{
    const bool written = writeAll(m_buffer);
    m_buffer.clear();
    return written;
}

bool AtomicFile::write(std::string_view bytes)
{
    if (!ok() || m_fd < 0 || m_finished)
        return false;
    if (m_buffer.size() + bytes.size() <= kBufferSize) {
        m_buffer.append(bytes);
        return true;
    }
    if (!flushBuffer())
        return false;
    if (bytes.size() < kBufferSize) {
        m_buffer.append(bytes);
        return true;
    }
    return writeAll(bytes);
}

std::string AtomicFile::finish()
{
    if (m_finished || m_fd < 0)
        return m_error;
    m_finished = true;
    flushBuffer();
    if (ok() && syncFile(m_fd) != 0)
        fail(reasonFor(errno));
    if (closeFile(m_fd) != 0)
        fail(reasonFor(errno));
    m_fd = -1;
    return m_error;
}

std::string AtomicFile::rename()
{
    const std::string target = resolvedTarget(m_path);
#ifdef _WIN32
    if (!MoveFileExW(pathOf(m_temp).c_str(), pathOf(target).c_str(),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        fail(code == ERROR_ACCESS_DENIED ? "Permission denied"
            : code == ERROR_DISK_FULL    ? "No space left on device"
            : code == ERROR_PATH_NOT_FOUND ? "Folder does not exist"
                                         : std::system_category().message(static_cast<int>(code)));
        return m_error;
    }
#else
    if (::rename(m_temp.c_str(), target.c_str()) != 0) {
        fail(reasonFor(errno));
        return m_error;
    }
    // The new name on the disk too, as far as the file system tells.
    const std::string folder = pathOf(target).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
#endif
    m_temp.clear();
    return {};
}

std::string AtomicFile::commit()
{
    if (!finish().empty()) {
        discard();
        return m_error;
    }
    if (m_temp.empty())
        return m_error.empty() ? std::string("Input/output error") : m_error;
    if (!rename().empty())
        discard();
    return m_error;
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        closeFile(m_fd);
        m_fd = -1;
    }
    m_finished = true;
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(pathOf(m_temp), ec);
        m_temp.clear();
    }
}

std::string writeFileAtomically(const std::string& path, std::string_view bytes)
{
    AtomicFile file(path);
    file.write(bytes);
    return file.commit();
}

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() = default;

void OutputSet::add(std::string path, std::string bytes)
{
    m_files.push_back(std::make_unique<AtomicFile>(std::move(path)));
    m_bytes.push_back(std::move(bytes));
    m_whole.push_back(true);
}

AtomicFile& OutputSet::open(std::string path)
{
    m_files.push_back(std::make_unique<AtomicFile>(std::move(path)));
    m_bytes.emplace_back();
    m_whole.push_back(false);
    return *m_files.back();
}

void OutputSet::remove(std::string path)
{
    m_removals.push_back(std::move(path));
}

std::string OutputSet::commit()
{
    const auto discardAll = [this] {
        for (auto& f : m_files)
            f->discard();
    };
    const auto failWith = [this, &discardAll](const std::string& path, std::string reason) {
        m_failedPath = path;
        discardAll();
        return reason.empty() ? std::string("Input/output error") : reason;
    };
    for (const std::string& path : m_removals) {
        std::error_code ec;
        const std::string target = resolvedTarget(path);
        if (isReadOnly(target, fs::status(pathOf(target), ec)))
            return failWith(path, "File is read-only");
    }
    // Everything on the disk under temporary names first.
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        AtomicFile& file = *m_files[i];
        if (m_whole[i]) {
            file.write(m_bytes[i]);
            std::string().swap(m_bytes[i]);
        }
        if (!file.finish().empty() || file.m_temp.empty())
            return failWith(file.path(), file.error());
    }

    // Then the renames. Every old target is kept under a second name (a hard
    // link of a replaced file, the file itself for a removed one) until all
    // are in place, so that a failure half way puts the old set back.
    struct Step {
        std::string target;
        std::string kept;      // the old file's second name, empty if none
        bool replaced = false; // the target now holds the new file
    };
    std::vector<Step> steps;
    const auto undo = [&steps] {
        for (Step& step : steps) {
            std::error_code ec;
            if (!step.kept.empty())
                fs::rename(pathOf(step.kept), pathOf(step.target), ec);
            else if (step.replaced)
                fs::remove(pathOf(step.target), ec);
            if (!ec)
                step.kept.clear();
        }
    };
    const auto dropKept = [&steps] {
        for (const Step& step : steps) {
            std::error_code ec;
            if (!step.kept.empty())
                fs::remove(pathOf(step.kept), ec);
        }
    };
    for (std::size_t i = 0; i < m_removals.size(); ++i) {
        Step step{resolvedTarget(m_removals[i]), {}, false};
        std::error_code ec;
        if (!fs::exists(pathOf(step.target), ec))
            continue;
        step.kept = step.target + ".removed-" + std::to_string(i) + ".tmp";
        fs::rename(pathOf(step.target), pathOf(step.kept), ec);
        if (ec) {
            undo();
            return failWith(m_removals[i], reasonFor(ec.value()));
        }
        steps.push_back(step);
    }
    for (const auto& f : m_files) {
        Step step{resolvedTarget(f->path()), {}, false};
        std::error_code ec;
        if (fs::exists(pathOf(step.target), ec)) {
            step.kept = f->m_temp + ".old";
            fs::create_hard_link(pathOf(step.target), pathOf(step.kept), ec);
            if (ec)
                step.kept.clear();
        }
        if (!f->rename().empty()) {
            if (!step.kept.empty())
                fs::remove(pathOf(step.kept), ec);
            undo();
            dropKept();
            return failWith(f->path(), f->error());
        }
        step.replaced = true;
        steps.push_back(step);
    }
    dropKept();
    return {};
}

std::string quoteForMessage(std::string_view sourceText, std::size_t maxChars)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool cut = sourceText.size() > maxChars;
    const std::string_view shown = cut ? sourceText.substr(0, maxChars) : sourceText;
    std::string quoted;
    quoted.reserve(shown.size() + 8);
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7F || byte == 0x81 || byte == 0x83 ||
                             byte == 0x88 || byte == 0x90 || byte == 0x98;
        if (!control) {
            quoted += c;
            continue;
        }
        quoted += "\\x";
        quoted += kHex[byte >> 4];
        quoted += kHex[byte & 0xF];
    }
    if (cut)
        quoted += '\x85';
    return quoted;
}

} // namespace m51
