#pragma once
// The watch list of a debug session: the expressions the user typed, what
// each names in the machine, its value at the last sample and whether it
// changed since the last stop. Plain data, shown by the watch pane.

#include "simrun/Watches.h"

#include <string>
#include <vector>

namespace m51dbg {

class WatchList {
public:
    struct Entry {
        std::string expression;
        std::optional<WatchTarget> target;
        std::string error;    // why the expression names nothing
        long value = 0;
        bool known = false;   // sampled at least once
        bool changed = false; // differs from its value at the last stop
        long atStop = 0;
        bool haveStop = false;
    };

    // The names of the program's source (a new build): every entry resolved again.
    void setNames(SourceNames names);
    size_t add(const std::string& expression);
    void setExpression(size_t i, const std::string& expression);
    void remove(size_t i);
    void clear() { m_entries.clear(); }
    const std::vector<Entry>& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }

    // Reads every value; `atStop` makes these the values later changes are marked against.
    void sample(const ByteReader& read, uint16_t pc, bool atStop);
    bool write(size_t i, long value, const ByteReader& read, const ByteWriter& write) const;

private:
    void resolve(Entry& entry) const;
    SourceNames m_names;
    std::vector<Entry> m_entries;
};

} // namespace m51dbg
