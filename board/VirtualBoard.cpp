#include "board/VirtualBoard.h"

#include <algorithm>
#include <bit>
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
            if (mask[p] && part->followsPins()) {
                m_watches[p].push_back({part, mask[p]});
                m_watchedPins[p] |= mask[p];
            }
        switch (wanted.kind) {
        case PartKind::Button:
        case PartKind::Switch:
            m_buttons.push_back(static_cast<const ButtonPart*>(part));
            break;
        case PartKind::Keypad:
            m_keypads.push_back(static_cast<const KeypadPart*>(part));
            break;
        case PartKind::Lcd:
            m_lcds.push_back(static_cast<const LcdPart*>(part));
            break;
        default:
            continue;  // drives no pin
        }
        m_drives = true;
        for (unsigned p = 0; p < 4; ++p) {
            m_driverPins[p] |= mask[p];
            if (part->followsPins())
                m_answeringPins |= uint32_t{mask[p]} << (8 * p);
        }
    }
    gatherPulls();
}

VirtualBoard::~VirtualBoard() = default;

// The four ports' latches (byte q port q), kept for the parts as well.
inline uint32_t VirtualBoard::readLatches()
{
    const sim::Machine& machine = *m_machine;
    const uint32_t latches = uint32_t{machine.latch(0)} | uint32_t{machine.latch(1)} << 8 |
                             uint32_t{machine.latch(2)} << 16 | uint32_t{machine.latch(3)} << 24;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(m_ports.latch, &latches, sizeof latches);
    else
        for (unsigned p = 0; p < 4; ++p)
            m_ports.latch[p] = static_cast<uint8_t>(latches >> (8 * p));
    return latches;
}

// The pins every driving part pulls low now (bit 8q+b: pin b of port q).
inline uint32_t VirtualBoard::pulledLow(uint32_t latches) const
{
    uint32_t joined = 0;
    for (const LatchPulls& t : m_latchPulls)
        joined |= t.pulled[(latches >> t.shift) & 0xFF];
    uint32_t low = m_buttonPulls | (joined & latches);  // lines the program holds low stay its own
    for (const LcdPart* lcd : m_lcds)
        low |= lcd->pulledLow();
    return low;
}

void VirtualBoard::gatherPulls()
{
    m_buttonPulls = 0;
    for (const ButtonPart* button : m_buttons)
        m_buttonPulls |= button->pulledLow();
    m_latchPulls.clear();
    for (const KeypadPart* keypad : m_keypads)
        for (const KeypadPart::Joined& table : keypad->joined()) {
            const unsigned shift = 8u * table.port;
            auto it = std::find_if(m_latchPulls.begin(), m_latchPulls.end(),
                                   [&](const LatchPulls& t) { return t.shift == shift; });
            if (it == m_latchPulls.end())
                it = m_latchPulls.insert(it, {shift, {}});
            for (unsigned latch = 0; latch < 256; ++latch)
                it->pulled[latch] |= table.pulled[latch];
        }
}

void VirtualBoard::attach(sim::Machine* machine)
{
    if (m_machine) {  // let go of the old machine's pins
        for (unsigned p = 0; p < 4; ++p)
            if (const uint8_t applied = static_cast<uint8_t>(m_applied >> (8 * p)))
                m_machine->drivePins(p, applied, 0);
    }
    m_applied = 0;
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
    if (changed & m_watchedPins[port])
        tellParts(cycle, port, changed);
    else
        answer(port, changed);
}

void VirtualBoard::tellParts(uint64_t cycle, unsigned port, uint8_t changed)
{
    for (const Watch& w : m_watches[port])
        if (w.mask & changed)
            w.part->pinsChanged(cycle, m_ports);
    answer(port, changed);
}

// The drives after a change of pins on `port`: none while the board is
// driving (the machine reports the drives back), new ones when a driving
// part's pins changed.
void VirtualBoard::answer(unsigned port, uint8_t changed)
{
    if (m_driving)
        m_heard = true;
    else if (changed & m_driverPins[port])
        applyDrives();
}

// The pins every driving part pulls low, put on the machine when they
// differ from those it pulls already (after most reports they do not).
void VirtualBoard::applyDrives()
{
    if (!m_machine || !m_drives)
        return;
    if (const uint32_t low = pulledLow(readLatches()); low != m_applied)
        drive(low);
}

// The new drives on the machine. Driving a pin reports it back here
// (nested): the parts see that change. Most often only a keypad or button
// has new drives, on one port, and they are settled at once.
void VirtualBoard::drive(uint32_t low)
{
    const uint32_t diff = low ^ m_applied;
    const unsigned p = static_cast<unsigned>(std::countr_zero(diff)) / 8;
    if ((diff >> (8 * p)) > 0xFF || (diff & m_answeringPins)) {
        driveRounds(low);
        return;
    }
    m_driving = true;
    m_heard = false;
    m_applied = low;
    m_machine->drivePins(p, static_cast<uint8_t>(diff >> (8 * p)), static_cast<uint8_t>(low >> (8 * p)));
    m_driving = false;
    if (!m_heard)  // the machine reported the drives back: the parts have seen them
        catchUp();
}

// Drives on several ports, or on the pins of a part that follows them (an
// LCD answering a read): the drives are worked out again after each round,
// as joined keypad lines need, until they settle.
void VirtualBoard::driveRounds(uint32_t low)
{
    m_driving = true;
    m_heard = false;
    for (int round = 0; round < 4; ++round) {
        const uint32_t diff = low ^ m_applied;
        m_applied = low;
        for (uint32_t left = diff; left;) {  // the ports with pins to drive
            const unsigned p = static_cast<unsigned>(std::countr_zero(left)) / 8;
            left &= ~(0xFFu << (8 * p));
            m_machine->drivePins(p, static_cast<uint8_t>(diff >> (8 * p)), static_cast<uint8_t>(low >> (8 * p)));
        }
        if (!(diff & m_answeringPins))  // no driver sees its own drives: they are settled
            break;
        low = pulledLow(readLatches());
        if (low == m_applied)
            break;
    }
    m_driving = false;
    if (!m_heard)
        catchUp();
}

// Without the machine's reports (no listener yet) the parts learn of the drives here.
void VirtualBoard::catchUp()
{
    for (unsigned p = 0; p < 4; ++p)
        if (const uint8_t level = m_machine->pins(p); level != m_ports.level[p])
            pinsChanged(m_machine->cycles(), p, level);
}

bool VirtualBoard::setClosed(size_t i, bool closed)
{
    if (i >= m_parts.size() || (m_parts[i]->kind() != PartKind::Button && m_parts[i]->kind() != PartKind::Switch))
        return false;
    static_cast<ButtonPart&>(*m_parts[i]).setClosed(closed);
    gatherPulls();
    applyDrives();
    return true;
}

bool VirtualBoard::setKey(size_t i, char key, bool pressed)
{
    if (i >= m_parts.size() || m_parts[i]->kind() != PartKind::Keypad)
        return false;
    if (!static_cast<KeypadPart&>(*m_parts[i]).setPressed(key, pressed))
        return false;
    gatherPulls();
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
