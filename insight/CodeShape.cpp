#include "insight/CodeShape.h"

#include <array>

namespace insight {

namespace {

// Lengths by opcode, row by row (high nibble), as the 8051's opcode map has them.
constexpr uint8_t Lengths[256] = {
    1, 2, 3, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x
    3, 2, 3, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 1x
    3, 2, 1, 1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 2x
    3, 2, 1, 1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 3x
    2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 4x
    2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 5x
    2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 6x
    2, 2, 2, 1, 2, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 7x
    2, 2, 2, 1, 1, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 8x
    3, 2, 2, 1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 9x
    2, 2, 2, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // Ax
    2, 2, 2, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,  // Bx
    2, 2, 2, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Cx
    2, 2, 2, 1, 1, 3, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2,  // Dx
    1, 2, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Ex
    1, 2, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Fx
};

constexpr uint8_t CyclesOf(unsigned op)
{
    if (op == 0x84 || op == 0xA4)  // DIV, MUL
        return 4;
    if ((op & 0x0F) == 0x01)  // AJMP, ACALL
        return 2;
    switch (op) {
    case 0x02: case 0x12: case 0x22: case 0x32: case 0x80: case 0x73:           // jumps, calls, returns
    case 0x10: case 0x20: case 0x30: case 0x40: case 0x50: case 0x60: case 0x70:  // conditional jumps
    case 0xD5: case 0x90: case 0x83: case 0x93: case 0xA3:                       // DJNZ dir, DPTR, MOVC
    case 0xE0: case 0xE2: case 0xE3: case 0xF0: case 0xF2: case 0xF3:            // MOVX
    case 0xC0: case 0xD0:                                                        // PUSH, POP
    case 0x72: case 0xA0: case 0x82: case 0xB0: case 0x92:                       // carry with a bit
    case 0x85: case 0x86: case 0x87: case 0xA6: case 0xA7:                       // MOV direct forms
    case 0x43: case 0x53: case 0x63: case 0x75:                                  // logic/MOV direct,#data
        return 2;
    default:
        break;
    }
    if (op >= 0xB4 && op <= 0xBF)  // CJNE
        return 2;
    if (op >= 0xD8)  // DJNZ Rn
        return op <= 0xDF ? 2 : 1;
    if ((op >= 0x88 && op <= 0x8F) || (op >= 0xA8 && op <= 0xAF))  // MOV direct,Rn / MOV Rn,direct
        return 2;
    return 1;
}

constexpr Flow FlowOf(unsigned op)
{
    switch (op) {
    case 0x10: case 0x20: case 0x30: case 0x40: case 0x50: case 0x60: case 0x70: case 0xD5:
        return Flow::CondJump;
    case 0x12: return Flow::Call;
    case 0x22: return Flow::Return;
    case 0x32: return Flow::ReturnInterrupt;
    default: break;
    }
    if ((op >= 0xB4 && op <= 0xBF) || (op >= 0xD8 && op <= 0xDF))
        return Flow::CondJump;
    if ((op & 0x1F) == 0x11)
        return Flow::Call;
    return Flow::Plain;
}

constexpr std::array<Shape, 256> MakeTable()
{
    std::array<Shape, 256> table{};
    for (unsigned op = 0; op < 256; ++op)
        table[op] = Shape{Lengths[op], CyclesOf(op), FlowOf(op)};
    return table;
}

constexpr std::array<Shape, 256> Table = MakeTable();

} // namespace

Shape ShapeOf(uint8_t opcode)
{
    return Table[opcode];
}

} // namespace insight
