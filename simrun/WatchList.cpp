#include "simrun/WatchList.h"

namespace m51dbg {

void WatchList::resolve(Entry& entry) const
{
    const WatchParse parse = ParseWatch(entry.expression, m_names);
    if (parse.target != entry.target)
        entry.known = entry.changed = entry.haveStop = false;
    entry.target = parse.target;
    entry.error = parse.error;
}

void WatchList::setNames(SourceNames names)
{
    m_names = std::move(names);
    for (Entry& e : m_entries)
        resolve(e);
}

size_t WatchList::add(const std::string& expression)
{
    Entry entry;
    entry.expression = expression;
    m_entries.push_back(std::move(entry));
    resolve(m_entries.back());
    return m_entries.size() - 1;
}

void WatchList::setExpression(size_t i, const std::string& expression)
{
    if (i >= m_entries.size())
        return;
    m_entries[i].expression = expression;
    resolve(m_entries[i]);
}

void WatchList::remove(size_t i)
{
    if (i < m_entries.size())
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
}

void WatchList::sample(const ByteReader& read, uint16_t pc, bool atStop)
{
    for (Entry& e : m_entries) {
        if (!e.target)
            continue;
        e.value = ReadWatch(*e.target, read, pc);
        e.known = true;
        e.changed = e.haveStop && e.value != e.atStop;
        if (atStop) {
            e.atStop = e.value;
            e.haveStop = true;
        }
    }
}

bool WatchList::write(size_t i, long value, const ByteReader& read, const ByteWriter& write) const
{
    return i < m_entries.size() && m_entries[i].target && WriteWatch(*m_entries[i].target, value, read, write);
}

} // namespace m51dbg
