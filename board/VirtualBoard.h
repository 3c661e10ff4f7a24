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

#include <array>
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
    // A report's way: the parts that follow its pins told (out of the
    // way of the many reports no such part looks at), then the answer.
    [[gnu::noinline]] void tellParts(uint64_t cycle, unsigned port, uint8_t changed);
    void answer(unsigned port, uint8_t changed);
    void applyDrives();
    [[gnu::noinline]] void drive(uint32_t low);
    [[gnu::noinline]] void driveRounds(uint32_t low);
    [[gnu::noinline]] void catchUp();
    uint32_t readLatches();
    uint32_t pulledLow(uint32_t latches) const;
    void gatherPulls();

    // A part told of changes of its pins on one port.
    struct Watch {
        Part* part;
        uint8_t mask;
    };
    BoardDescription m_description;
    std::vector<std::unique_ptr<Part>> m_parts;
    std::vector<Watch> m_watches[4];  // per port, in the parts' order
    uint8_t m_watchedPins[4] = {0, 0, 0, 0};  // their pins: a change elsewhere tells no part

    // The parts that may pull pins low (drivers), by kind. Pin sets below
    // are of all four ports at once: bit 8q+b is pin b of port q.
    std::vector<const ButtonPart*> m_buttons;
    std::vector<const KeypadPart*> m_keypads;
    std::vector<const LcdPart*> m_lcds;
    bool m_drives = false;                   // there is a driver
    uint8_t m_driverPins[4] = {0, 0, 0, 0};  // their pins: a change elsewhere needs no new drives
    // Pins of drivers that follow the levels (an LCD answering a read): a
    // drive on one of them may change the drives again.
    uint32_t m_answeringPins = 0;
    // What buttons and keypads pull depends on the latches and their own
    // state alone: gathered whenever setClosed() or setKey() changes that
    // state, so that working out the drives after a report takes a table
    // lookup per port with keypad lines.
    struct LatchPulls {
        unsigned shift;                    // the port's latch is byte shift/8 of the latches
        std::array<uint32_t, 256> pulled;  // by its value: the keypads' lines joined to one it holds low
    };
    std::vector<LatchPulls> m_latchPulls;
    uint32_t m_buttonPulls = 0;  // pins the buttons and switches pull low

    sim::Machine* m_machine = nullptr;
    PortState m_ports;
    uint32_t m_applied = 0;  // pins the board pulls low now
    bool m_driving = false;
    bool m_heard = false;  // the machine reported a drive back while driving
};

} // namespace board
