#pragma once
// The simulator core reports to one listener; this hands every report on to
// several (the board, the serial console, a recorder) in the order added.

#include "sim/Machine.h"

#include <algorithm>
#include <vector>

namespace board {

class ListenerFan : public sim::Listener {
public:
    void add(sim::Listener* listener) { m_listeners.push_back(listener); }
    void remove(sim::Listener* listener) { std::erase(m_listeners, listener); }
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        for (auto* l : m_listeners)
            l->pinsChanged(cycle, port, levels);
    }
    void serialSent(uint64_t cycle, uint8_t byte) override
    {
        for (auto* l : m_listeners)
            l->serialSent(cycle, byte);
    }
    void serialLost(uint64_t cycle, uint8_t byte) override
    {
        for (auto* l : m_listeners)
            l->serialLost(cycle, byte);
    }

private:
    std::vector<sim::Listener*> m_listeners;
};

} // namespace board
