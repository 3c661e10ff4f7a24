#include "board/VirtualBoard.h"

#include <cstring>

namespace board {

namespace {

std::unique_ptr<Part> MakePart(const PartSpec& s, double crystalHz)
{
    std::unique_ptr<Part> part;
    switch (s.kind) {
    case PartKind::Led:
    case PartKind::LedBar:
        part = std::make_unique<LedPart>(s.kind, s.pins, s.activeLow);
        break;
    case PartKind::Button:
    case PartKind::Switch:
        part = std::make_unique<ButtonPart>(s.kind, s.pins.at(0), s.activeLow, s.key);
        break;
    case PartKind::SevenSeg:
        part = std::make_unique<SevenSegPart>(SevenSegPart::Config{s.digits, s.pins, s.pins2, s.activeLow, s.selectActiveLow},
                                              crystalHz);
        break;
    case PartKind::Keypad:
        part = std::make_unique<KeypadPart>(s.pins, s.pins2);
        break;
    case PartKind::Lcd: {
        Lcd::Config c;
        c.columns = s.columns;
        c.rows = s.rows;
        c.data = s.pins;
        c.rs = s.rs;
        c.rw = s.rw;
        c.e = s.e;
        c.hasRw = s.hasRw;
        c.oscHz = s.oscHz;
        part = std::make_unique<LcdPart>(c, crystalHz);
        break;
    }
    case PartKind::Trace:
        part = std::make_unique<TracePart>(s.pins);
        break;
    }
    part->label = s.label;
    return part;
}

} // namespace

VirtualBoard::VirtualBoard(const BoardDescription& description, double crystalHz)
    : m_description(description)
{
    for (const auto& wanted : m_description.parts) {
        m_parts.push_back(MakePart(wanted, crystalHz));
        Part* part = m_parts.back().get();
        uint8_t mask[4] = {0, 0, 0, 0};
        for (const Pin& pin : part->pins())
            mask[pin.port] |= pin.mask();
        for (unsigned p = 0; p < 4; ++p)
            if (mask[p] && part->followsPins())
                m_watches[p].push_back({part, mask[p]});
        if (wanted.kind == PartKind::Button || wanted.kind == PartKind::Switch || wanted.kind == PartKind::Keypad
            || wanted.kind == PartKind::Lcd) {
            m_drivers.push_back(part);
            for (unsigned p = 0; p < 4; ++p) {
                m_driverPins[p] |= mask[p];
                if (part->followsPins())
                    m_answeringPins[p] |= mask[p];
            }
        }
    }
}

VirtualBoard::~VirtualBoard() = default;

void VirtualBoard::readLatches()
{
    for (unsigned p = 0; p < 4; ++p)
        m_ports.latch[p] = m_machine->latch(p);
}

void VirtualBoard::attach(sim::Machine* machine)
{
    if (m_machine) {  // let go of the old machine's pins
        for (unsigned p = 0; p < 4; ++p)
            if (m_applied[p])
                m_machine->drivePins(p, m_applied[p], 0);
    }
    for (auto& a : m_applied)
        a = 0;
    m_machine = machine;
    if (m_machine)
        powerOn();
}

void VirtualBoard::powerOn()
{
    if (!m_machine)
        return;
    for (unsigned p = 0; p < 4; ++p)
        m_ports.level[p] = m_machine->pins(p);
    readLatches();
    for (auto& part : m_parts)
        part->powerOn(m_machine->cycles(), m_ports);
    applyDrives();
}

void VirtualBoard::pinsChanged(uint64_t cycle, unsigned port, uint8_t levels)
{
    port &= 3;
    const uint8_t changed = m_ports.level[port] ^ levels;
    m_ports.level[port] = levels;
    for (const Watch& w : m_watches[port])
        if (w.mask & changed)
            w.part->pinsChanged(cycle, m_ports);
    if (!m_driving && (changed & m_driverPins[port]))
        applyDrives();
}

// The pins every driving part pulls low, put on the machine. Driving a pin
// reports it back here (nested); the parts see that change, and the loop
// settles the drives once more, as joined keypad lines need.
void VirtualBoard::applyDrives()
{
    if (!m_machine || m_drivers.empty())
        return;
    m_driving = true;
    bool drove = false;
    for (int round = 0; round < 4; ++round) {
        readLatches();
        uint8_t low[4] = {0, 0, 0, 0};
        for (Part* part : m_drivers)
            part->pullsLow(m_ports, low);
        if (std::memcmp(low, m_applied, sizeof low) == 0)  // the common case: nothing new to drive
            break;
        bool answered = false;
        for (unsigned p = 0; p < 4; ++p) {
            const uint8_t diff = low[p] ^ m_applied[p];
            if (!diff)
                continue;
            m_applied[p] = low[p];
            m_machine->drivePins(p, diff, low[p]);
            answered = answered || (diff & m_answeringPins[p]);
        }
        drove = true;
        if (!answered)  // no driver sees its own drives: they are settled
            break;
    }
    m_driving = false;
    if (!drove)
        return;
    // Without the machine's reports (no listener yet) the parts learn of the drives here.
    for (unsigned p = 0; p < 4; ++p)
        if (const uint8_t level = m_machine->pins(p); level != m_ports.level[p])
            pinsChanged(m_machine->cycles(), p, level);
}

bool VirtualBoard::setClosed(size_t i, bool closed)
{
    if (i >= m_parts.size() || (m_parts[i]->kind() != PartKind::Button && m_parts[i]->kind() != PartKind::Switch))
        return false;
    static_cast<ButtonPart&>(*m_parts[i]).setClosed(closed);
    applyDrives();
    return true;
}

bool VirtualBoard::setKey(size_t i, char key, bool pressed)
{
    if (i >= m_parts.size() || m_parts[i]->kind() != PartKind::Keypad)
        return false;
    if (!static_cast<KeypadPart&>(*m_parts[i]).setPressed(key, pressed))
        return false;
    applyDrives();
    return true;
}

void VirtualBoard::settle()
{
    if (!m_machine)
        return;
    for (auto& part : m_parts)
        if (part->kind() == PartKind::SevenSeg)
            static_cast<SevenSegPart&>(*part).settle(m_machine->cycles());
}

} // namespace board
