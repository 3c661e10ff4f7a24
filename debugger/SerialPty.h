#pragma once
// The board's serial port on a pseudo-terminal, for m51sim --tty and the
// debug adapter's `"serial": "pty"`: a terminal program opens its path like
// a COM port. Bytes the terminal sends are taken while the program runs (a
// few at a time, so a flood waits in the pseudo-terminal); what the program
// sends is written to it, and dropped when nobody reads, as a real line
// would. POSIX (not in the Windows build).

#include <string>

namespace m51dbg {

class SerialPty {
public:
    SerialPty() = default;
    ~SerialPty();
    SerialPty(const SerialPty&) = delete;
    SerialPty& operator=(const SerialPty&) = delete;

    // Opens a pseudo-terminal; an error message when there is none.
    std::string open();
    const std::string& path() const { return path_; }

    // Up to `room` bytes the terminal has sent (none waiting: empty).
    std::string take(std::size_t room);
    // Bytes to the terminal; dropped when nobody reads, as a real line would.
    void give(const std::string& bytes);
    // Waits up to `timeoutMs` for bytes from the terminal (only the time when not `forInput`).
    void wait(int timeoutMs, bool forInput) const;

private:
    int master_ = -1, slave_ = -1;
    std::string path_;
};

} // namespace m51dbg
