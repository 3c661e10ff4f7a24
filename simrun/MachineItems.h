#pragma once
// The machine values m51sim prints and firmware tests check, as the user
// names them (A, PC, R3, iram[30], xram[100H], lcd): parsed, read from the
// machine state and formatted, for both of them.

#include "simrun/MachineState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace m51sim {

// One value to print, as the user wrote it: a register name or SPACE[ADDR],
// a display of the board (lcd, 7seg), or a C expression of a C program
// (`text`, evaluated at the stop).
struct PrintItem {
    enum class Kind { Register, Iram, Xram, Sfr, Code, Lcd, SevenSeg, CExpression };
    std::string text;  // printed back as written
    Kind kind = Kind::Register;
    std::string name;   // upper case, for Register
    unsigned address = 0;
};

std::optional<PrintItem> ParsePrintItem(const std::string& text);

// What is printed without --print.
std::vector<PrintItem> DefaultPrints();

// "A=2C", "PC=0123", "iram[30]=2C": the value of a register or SFR/IRAM item
// from the machine; nothing for XRAM and code, which need a read first, nor
// for the board's displays.
std::optional<std::string> FormatItem(const PrintItem& item, const m51dbg::MachineState& machine);
std::string FormatByte(const PrintItem& item, uint8_t value);
// The value of a register or SFR/IRAM item (PC and DPTR 16 bits); nothing
// for XRAM and code, which need a read of the machine.
std::optional<unsigned> ItemValue(const PrintItem& item, const m51dbg::MachineState& machine);

} // namespace m51sim
