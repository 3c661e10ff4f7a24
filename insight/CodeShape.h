#pragma once
// What the profile and the branch counts need to know about an 8051
// instruction from its opcode alone: its length, its machine cycles (fixed
// for every 8051 instruction) and whether it is a conditional jump, a call or
// a return, with the jump or call target.

#include <cstdint>
#include <optional>

namespace insight {

enum class Flow : uint8_t {  // the returns last: a return is a flow >= Return
    Plain,
    CondJump,  // JZ JNZ JC JNC JB JNB JBC CJNE DJNZ: taken or falls through
    Call,      // LCALL, ACALL
    Return,    // RET
    ReturnInterrupt,  // RETI
};

struct Shape {
    uint8_t length = 1;
    uint8_t cycles = 1;
    Flow flow = Flow::Plain;
};

Shape ShapeOf(uint8_t opcode);

// The target of a conditional jump or a call, or of LJMP/AJMP/SJMP, at
// `address`; `read` gives code bytes.
template <typename Read>
std::optional<uint16_t> TargetOf(uint16_t address, Read read)
{
    const uint8_t op = read(address);
    const Shape shape = ShapeOf(op);
    const uint16_t next = static_cast<uint16_t>(address + shape.length);
    if ((op & 0x1F) == 0x01 || (op & 0x1F) == 0x11)  // AJMP, ACALL
        return static_cast<uint16_t>((next & 0xF800) | ((op >> 5) << 8) | read(static_cast<uint16_t>(address + 1)));
    if (op == 0x02 || op == 0x12)  // LJMP, LCALL
        return static_cast<uint16_t>(read(static_cast<uint16_t>(address + 1)) << 8 | read(static_cast<uint16_t>(address + 2)));
    if (shape.flow == Flow::CondJump || op == 0x80) {
        const auto rel = static_cast<int8_t>(read(static_cast<uint16_t>(address + shape.length - 1)));
        return static_cast<uint16_t>(next + rel);
    }
    return std::nullopt;
}

} // namespace insight
