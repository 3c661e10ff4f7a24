#pragma once
// One way to write a file for every program of the product: the bytes go to a
// temporary file beside the target, every write, flush, sync and close is
// checked, the temporary file takes the target's mode and is renamed over the
// target only when all of it is on the disk. On any failure the target stays
// as it was and the caller gets the reason in the words of the system's own
// messages ("No space left on device", "File is read-only", "Folder does not
// exist", ...), never a silent success. Plain C++ (no Qt), so that the command-line tools, the sanitizer
// build and the Windows build share it with Zelvar and terminal.
//
// Paths are byte strings as the programs get them; on Windows they are UTF-8.
// Results are "" on success, else the reason in words.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace m51 {

// Writes `bytes` to `path` as a whole or not at all. Refuses a read-only
// target (also for the super-user) and leaves it untouched.
std::string writeFileAtomically(const std::string& path, std::string_view bytes);

// A file written piece by piece under a temporary name beside its target and
// put in place by commit(). Destroying it uncommitted removes the temporary
// file and leaves the target as it was. After the first failure write() does
// nothing more and error() keeps the reason.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    bool ok() const { return m_error.empty(); }

    bool write(std::string_view bytes);
    // Flushes, syncs and closes the temporary file; "" or the reason.
    std::string finish();
    // finish() and then the rename over the target; "" or the reason.
    std::string commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    friend class OutputSet;
    void fail(std::string reason);
    bool writeAll(std::string_view bytes);
    bool flushBuffer();
    std::string rename();

    std::string m_path;
    std::string m_temp;
    std::string m_buffer;
    std::string m_error;
    int m_fd = -1;
    bool m_finished = false;
};

// Several outputs of one run (assembly, lists, map; hex, listing, binary)
// put in place all together or not at all: every temporary file is written
// and synced first, then all are renamed. A failed rename puts the targets
// already replaced back as they were.
class OutputSet {
public:
    OutputSet();
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // An output whose bytes are all known.
    void add(std::string path, std::string bytes);
    // An output written piece by piece by the caller before commit().
    AtomicFile& open(std::string path);
    // An old output that this run does not make (a HEX file after failed
    // assembly): removed with the set, refused like a write when read-only.
    void remove(std::string path);

    // "" when every output is in place, else the reason; failedPath() names
    // the output it concerns. On failure no target has changed.
    std::string commit();
    const std::string& failedPath() const { return m_failedPath; }

private:
    std::vector<std::unique_ptr<AtomicFile>> m_files;
    std::vector<std::string> m_bytes;   // for add(); empty for open()
    std::vector<bool> m_whole;
    std::vector<std::string> m_removals;
    std::string m_failedPath;
};

// Source text as a message may quote it: control bytes (and the bytes code
// page 1250 leaves undefined) written as \xNN, tabs kept, and a quote longer
// than maxChars cut there and ended with "…" (code page 1250), so that no
// hostile source can act on the terminal or flood the screen.
std::string quoteForMessage(std::string_view sourceText, std::size_t maxChars = 200);

} // namespace m51
