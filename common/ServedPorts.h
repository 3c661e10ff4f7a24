#pragma once
// The serial ports this user's programs serve right now on pseudo-terminals
// (the simulated board of Zelvar, m51sim --tty), so that terminal can offer
// them by name instead of a path to type. Each served port is one small file
// in the user's runtime folder, written while the port is served and removed
// when serving ends; an entry whose program is gone (it crashed) is ignored,
// and removed by the next look. Plain C++; Windows has no pseudo-terminals,
// and there the list is always empty.

#include <string>
#include <vector>

namespace m51 {

struct ServedPort {
    std::string path;     // what a terminal program opens
    std::string program;  // who serves it: "Zelvar", "m51sim"
    std::string running;  // the 8051 program it runs ("blink"), may be empty
    long pid = 0;         // the serving process (filled in by publish)
};

// Where the entries live: $XDG_RUNTIME_DIR/zelvar-ports, or
// /tmp/zelvar-ports-UID where the session has no runtime folder.
std::string ServedPortsFolder();

// The ports served now, by path.
std::vector<ServedPort> ListServedPorts();

// One served port's entry: published by publish(), removed by withdraw() or
// when the object goes.
class ServedPortEntry {
public:
    ServedPortEntry() = default;
    ~ServedPortEntry() { withdraw(); }
    ServedPortEntry(const ServedPortEntry&) = delete;
    ServedPortEntry& operator=(const ServedPortEntry&) = delete;

    // Publishes the port, or replaces the entry's details; "" or the reason.
    std::string publish(const ServedPort& port);
    void withdraw();

private:
    std::string m_file;
};

} // namespace m51
