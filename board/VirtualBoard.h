#pragma once
// The virtual board on a running machine: its parts see every pin change at
// the machine cycle it happened (the core's pinsChanged reports) and the pins
// they pull low (buttons, switches, keypad keys, the LCD while it is read)
// are driven into the core at once, so the program reads them in its very
// next instruction. Everything runs on the thread that runs the machine;
// views poll the parts between runs.

#include "board/BoardFile.h"
#include "board/Parts.h"

#include "sim/Machine.h"

#include <memory>
#include <vector>

namespace board {

class VirtualBoard : public sim::Listener {
public:
    VirtualBoard(const BoardDescription& description, double crystalHz);
    ~VirtualBoard() override;
    VirtualBoard(const VirtualBoard&) = delete;
    VirtualBoard& operator=(const VirtualBoard&) = delete;

    // The machine the board is wired to (null: none); the parts power on at
    // its cycle. The board does not become the machine's listener: the owner
    // passes reports on (see ListenerFan.h).
    void attach(sim::Machine* machine);
    // The machine is gone (or about to go): forget it without touching it.
    void release() { m_machine = nullptr; }
    const sim::Machine* machine() const { return m_machine; }
    // After a reset of the machine: parts power on again (the LCD's internal reset).
    void powerOn();
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override;

    const BoardDescription& description() const { return m_description; }
    size_t partCount() const { return m_parts.size(); }
    Part& part(size_t i) { return *m_parts[i]; }
    const Part& part(size_t i) const { return *m_parts[i]; }
    template <class T> T* find(PartKind kind, size_t nth = 0)
    {
        for (auto& p : m_parts)
            if (p->kind() == kind && nth-- == 0)
                return static_cast<T*>(p.get());
        return nullptr;
    }

    // The user's hand: a button held or let go, a switch set, a key pressed.
    // False when part `i` is not such a part.
    bool setClosed(size_t i, bool closed);
    bool setKey(size_t i, char key, bool pressed);

    // Time-based parts (the 7-segment persistence) brought up to the machine's cycle.
    void settle();

private:
    void applyDrives();
    void readLatches();

    // A part told of changes of its pins on one port.
    struct Watch {
        Part* part;
        uint8_t mask;
    };
    BoardDescription m_description;
    std::vector<std::unique_ptr<Part>> m_parts;
    std::vector<Watch> m_watches[4];  // per port, in the parts' order
    std::vector<Part*> m_drivers;  // parts that may pull pins low
    uint8_t m_driverPins[4] = {0, 0, 0, 0};  // their pins: a change elsewhere needs no new drives
    // Pins of drivers that follow the levels (an LCD answering a read): a
    // drive on one of them may change the drives again; a keypad or button
    // pulls by the latches and its own state alone.
    uint8_t m_answeringPins[4] = {0, 0, 0, 0};
    sim::Machine* m_machine = nullptr;
    PortState m_ports;
    uint8_t m_applied[4] = {0, 0, 0, 0};  // pins the board pulls low now
    bool m_driving = false;
};

} // namespace board
