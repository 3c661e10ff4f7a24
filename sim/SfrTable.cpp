#include "sim/SfrTable.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

enum Need { Always, Timer2, Auxr, DualDptr };

struct Row {
    SfrInfo info;
    Need need;
};

// Port bits are named P1.0 ... rather than by their alternate functions (RXD,
// T2, ...): the pins are what a program on a board means.
const Row Rows[] = {
    {{"P0", 0x80, {}}, Always},
    {{"SP", 0x81, {}}, Always},
    {{"DPL", 0x82, {}}, Always},
    {{"DPH", 0x83, {}}, Always},
    {{"PCON", 0x87, {}}, Always},
    {{"TCON", 0x88, {"IT0", "IE0", "IT1", "IE1", "TR0", "TF0", "TR1", "TF1"}}, Always},
    {{"TMOD", 0x89, {}}, Always},
    {{"TL0", 0x8A, {}}, Always},
    {{"TL1", 0x8B, {}}, Always},
    {{"TH0", 0x8C, {}}, Always},
    {{"TH1", 0x8D, {}}, Always},
    {{"AUXR", 0x8E, {}}, Auxr},
    {{"P1", 0x90, {}}, Always},
    {{"SCON", 0x98, {"RI", "TI", "RB8", "TB8", "REN", "SM2", "SM1", "SM0"}}, Always},
    {{"SBUF", 0x99, {}}, Always},
    {{"P2", 0xA0, {}}, Always},
    {{"AUXR1", 0xA2, {}}, DualDptr},
    {{"IE", 0xA8, {"EX0", "ET0", "EX1", "ET1", "ES", "ET2", nullptr, "EA"}}, Always},
    {{"P3", 0xB0, {}}, Always},
    {{"IP", 0xB8, {"PX0", "PT0", "PX1", "PT1", "PS", "PT2", nullptr, nullptr}}, Always},
    {{"T2CON", 0xC8, {"CP_RL2", "C_T2", "TR2", "EXEN2", "TCLK", "RCLK", "EXF2", "TF2"}}, Timer2},
    {{"T2MOD", 0xC9, {}}, Timer2},
    {{"RCAP2L", 0xCA, {}}, Timer2},
    {{"RCAP2H", 0xCB, {}}, Timer2},
    {{"TL2", 0xCC, {}}, Timer2},
    {{"TH2", 0xCD, {}}, Timer2},
    {{"PSW", 0xD0, {"P", nullptr, "OV", "RS0", "RS1", "F0", "AC", "CY"}}, Always},
    {{"ACC", 0xE0, {}}, Always},
    {{"B", 0xF0, {}}, Always},
};

bool has(const Chip* chip, Need need)
{
    switch (need) {
    case Always: return true;
    case Timer2: return !chip || chip->timer2;
    case Auxr: return chip && chip->auxr;
    case DualDptr: return chip && chip->dualDptr;
    }
    return false;
}

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, value >= 0xA0 ? "0%02XH" : "%02XH", value & 0xFF);
    return text;
}

}  // namespace

std::vector<SfrInfo> sfrsOf(const Chip* chip)
{
    std::vector<SfrInfo> list;
    for (const Row& row : Rows)
        if (has(chip, row.need))
            list.push_back(row.info);
    return list;
}

const SfrInfo* findSfr(const std::vector<SfrInfo>& list, uint8_t address)
{
    auto it = std::find_if(list.begin(), list.end(), [address](const SfrInfo& s) { return s.address == address; });
    return it == list.end() ? nullptr : &*it;
}

std::string bitName(const std::vector<SfrInfo>& list, uint8_t bit)
{
    const unsigned n = bit & 7;
    if (bit < 0x80)
        return hexByte(0x20 + bit / 8) + "." + std::to_string(n);
    const SfrInfo* sfr = findSfr(list, static_cast<uint8_t>(bit & 0xF8));
    if (!sfr)
        return hexByte(bit & 0xF8) + "." + std::to_string(n);
    if (sfr->bits[n])
        return sfr->bits[n];
    return std::string(sfr->name) + "." + std::to_string(n);
}

}  // namespace sim
