// The symbol table: names compared without regard to letter case, the 8051
// and 8052 register and bit names already in it.
#include "assembler/Context.h"

namespace m51asm {

namespace {

struct Predefined {
    std::string_view name;
    SymbolKind kind;
    std::int32_t value;
};

constexpr Predefined kPredefined[] = {
    // Special-function registers of the 8051 and 8052.
    {"P0", SymbolKind::Data, 0x80}, {"SP", SymbolKind::Data, 0x81}, {"DPL", SymbolKind::Data, 0x82},
    {"DPH", SymbolKind::Data, 0x83}, {"PCON", SymbolKind::Data, 0x87}, {"TCON", SymbolKind::Data, 0x88},
    {"TMOD", SymbolKind::Data, 0x89}, {"TL0", SymbolKind::Data, 0x8A}, {"TL1", SymbolKind::Data, 0x8B},
    {"TH0", SymbolKind::Data, 0x8C}, {"TH1", SymbolKind::Data, 0x8D}, {"P1", SymbolKind::Data, 0x90},
    {"SCON", SymbolKind::Data, 0x98}, {"SBUF", SymbolKind::Data, 0x99}, {"P2", SymbolKind::Data, 0xA0},
    {"IE", SymbolKind::Data, 0xA8}, {"P3", SymbolKind::Data, 0xB0}, {"IP", SymbolKind::Data, 0xB8},
    {"T2CON", SymbolKind::Data, 0xC8}, {"T2MOD", SymbolKind::Data, 0xC9}, {"RCAP2L", SymbolKind::Data, 0xCA},
    {"RCAP2H", SymbolKind::Data, 0xCB}, {"TL2", SymbolKind::Data, 0xCC}, {"TH2", SymbolKind::Data, 0xCD},
    {"PSW", SymbolKind::Data, 0xD0}, {"ACC", SymbolKind::Data, 0xE0}, {"B", SymbolKind::Data, 0xF0},
    // Bits.
    {"IT0", SymbolKind::Bit, 0x88}, {"IE0", SymbolKind::Bit, 0x89}, {"IT1", SymbolKind::Bit, 0x8A},
    {"IE1", SymbolKind::Bit, 0x8B}, {"TR0", SymbolKind::Bit, 0x8C}, {"TF0", SymbolKind::Bit, 0x8D},
    {"TR1", SymbolKind::Bit, 0x8E}, {"TF1", SymbolKind::Bit, 0x8F}, {"T2", SymbolKind::Bit, 0x90},
    {"T2EX", SymbolKind::Bit, 0x91}, {"RI", SymbolKind::Bit, 0x98}, {"TI", SymbolKind::Bit, 0x99},
    {"RB8", SymbolKind::Bit, 0x9A}, {"TB8", SymbolKind::Bit, 0x9B}, {"REN", SymbolKind::Bit, 0x9C},
    {"SM2", SymbolKind::Bit, 0x9D}, {"SM1", SymbolKind::Bit, 0x9E}, {"SM0", SymbolKind::Bit, 0x9F},
    {"EX0", SymbolKind::Bit, 0xA8}, {"ET0", SymbolKind::Bit, 0xA9}, {"EX1", SymbolKind::Bit, 0xAA},
    {"ET1", SymbolKind::Bit, 0xAB}, {"ES", SymbolKind::Bit, 0xAC}, {"ET2", SymbolKind::Bit, 0xAD},
    {"EA", SymbolKind::Bit, 0xAF}, {"RXD", SymbolKind::Bit, 0xB0}, {"TXD", SymbolKind::Bit, 0xB1},
    {"INT0", SymbolKind::Bit, 0xB2}, {"INT1", SymbolKind::Bit, 0xB3}, {"T0", SymbolKind::Bit, 0xB4},
    {"T1", SymbolKind::Bit, 0xB5}, {"WR", SymbolKind::Bit, 0xB6}, {"RD", SymbolKind::Bit, 0xB7},
    {"PX0", SymbolKind::Bit, 0xB8}, {"PT0", SymbolKind::Bit, 0xB9}, {"PX1", SymbolKind::Bit, 0xBA},
    {"PT1", SymbolKind::Bit, 0xBB}, {"PS", SymbolKind::Bit, 0xBC}, {"PT2", SymbolKind::Bit, 0xBD},
    {"CP_RL2", SymbolKind::Bit, 0xC8}, {"C_T2", SymbolKind::Bit, 0xC9}, {"TR2", SymbolKind::Bit, 0xCA},
    {"EXEN2", SymbolKind::Bit, 0xCB}, {"TCLK", SymbolKind::Bit, 0xCC}, {"RCLK", SymbolKind::Bit, 0xCD},
    {"EXF2", SymbolKind::Bit, 0xCE}, {"TF2", SymbolKind::Bit, 0xCF}, {"P", SymbolKind::Bit, 0xD0},
    {"OV", SymbolKind::Bit, 0xD2}, {"RS0", SymbolKind::Bit, 0xD3}, {"RS1", SymbolKind::Bit, 0xD4},
    {"F0", SymbolKind::Bit, 0xD5}, {"AC", SymbolKind::Bit, 0xD6}, {"CY", SymbolKind::Bit, 0xD7},
};

// Register addresses of the bank chosen with USING.
constexpr std::string_view kBankRegisters[] = {"AR0", "AR1", "AR2", "AR3", "AR4", "AR5", "AR6", "AR7"};

inline unsigned char Upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

std::uint32_t Hash(std::string_view s)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s)
        h = (h ^ Upper(c)) * 16777619u;
    return h;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

SymbolTable::SymbolTable()
{
    m_slots.assign(256, -1);
    for (const Predefined& p : kPredefined) {
        SymbolEntry& e = m_entries[static_cast<std::size_t>(Intern(p.name))];
        e.kind = p.kind;
        e.value = p.value;
        e.known = true;
        e.predefined = true;
    }
    for (int i = 0; i < 8; ++i) {
        SymbolEntry& e = m_entries[static_cast<std::size_t>(Intern(kBankRegisters[i]))];
        e.kind = SymbolKind::Data;
        e.value = i;
        e.known = true;
        e.predefined = true;
        e.bankRegister = true;
    }
}

std::int32_t SymbolTable::Find(std::string_view name) const
{
    const std::uint32_t h = Hash(name);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const std::int32_t id = m_slots[i];
        if (id < 0)
            return -1;
        const SymbolEntry& e = m_entries[static_cast<std::size_t>(id)];
        if (e.hash == h && SameName(e.name, name))
            return id;
    }
}

std::int32_t SymbolTable::Intern(std::string_view name)
{
    const std::uint32_t h = Hash(name);
    std::size_t mask = m_slots.size() - 1;
    std::size_t i = h & mask;
    for (;; i = (i + 1) & mask) {
        const std::int32_t id = m_slots[i];
        if (id < 0)
            break;
        const SymbolEntry& e = m_entries[static_cast<std::size_t>(id)];
        if (e.hash == h && SameName(e.name, name))
            return id;
    }
    const auto id = static_cast<std::int32_t>(m_entries.size());
    SymbolEntry e;
    e.name = name;
    e.hash = h;
    m_entries.push_back(e);
    m_slots[i] = id;
    if (m_entries.size() * 2 > m_slots.size())
        Grow();
    return id;
}

void SymbolTable::Reserve(std::size_t count)
{
    m_entries.reserve(count);
    std::size_t slots = m_slots.size();
    while (slots < 2 * count)
        slots *= 2;
    if (slots > m_slots.size())
        Spread(slots);
}

void SymbolTable::Grow()
{
    Spread(m_slots.size() * 2);
}

void SymbolTable::Spread(std::size_t slots)
{
    m_slots.assign(slots, -1);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t id = 0; id < m_entries.size(); ++id) {
        std::size_t i = m_entries[id].hash & mask;
        while (m_slots[i] >= 0)
            i = (i + 1) & mask;
        m_slots[i] = static_cast<std::int32_t>(id);
    }
}

void SymbolTable::RestorePredefined()
{
    for (const Predefined& p : kPredefined) {
        SymbolEntry& e = m_entries[static_cast<std::size_t>(Find(p.name))];
        if (!e.predefined)
            continue;
        e.kind = p.kind;
        e.value = p.value;
        e.known = true;
    }
    for (int i = 0; i < 8; ++i) {
        SymbolEntry& e = m_entries[static_cast<std::size_t>(Find(kBankRegisters[i]))];
        if (!e.predefined)
            continue;
        e.kind = SymbolKind::Data;
        e.value = i;
        e.known = true;
        e.bankRegister = true;
    }
}

void SymbolTable::DropPredefined()
{
    for (SymbolEntry& e : m_entries) {
        if (!e.predefined)
            continue;
        e.known = false;
        e.bankRegister = false;
        e.value = 0;
    }
}

} // namespace m51asm
