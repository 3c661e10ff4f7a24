#pragma once
// What the expression operators compute, for the assembler's passes
// (Evaluate.cpp) and for the linker's fixups alike: 32-bit two's complement,
// relations all ones when true, the bit selector byte.bit giving a bit
// address. Internal to the assembler library.

#include "assembler/Context.h"

#include <cstdint>
#include <string>

namespace m51asm {

enum class OpFault : std::uint8_t { None, DivisionByZero, BitNumber, NoBits };

inline std::int32_t UnaryOp(Op op, std::int32_t a)
{
    const auto u = static_cast<std::uint32_t>(a);
    switch (op) {
    case Op::Neg: return static_cast<std::int32_t>(0u - u);
    case Op::Not: return static_cast<std::int32_t>(~u);
    case Op::High: return (a >> 8) & 0xFF;
    case Op::Low: return a & 0xFF;
    default: return a;
    }
}

inline std::int32_t BinaryOp(Op op, std::int32_t sa, std::int32_t sb, OpFault& fault)
{
    const auto a = static_cast<std::uint32_t>(sa), b = static_cast<std::uint32_t>(sb);
    std::uint32_t r = 0;
    switch (op) {
    case Op::Add: r = a + b; break;
    case Op::Sub: r = a - b; break;
    case Op::Mul: r = a * b; break;
    case Op::Div:
    case Op::Mod:
        if (sb == 0) {
            fault = OpFault::DivisionByZero;
            return 0;
        }
        r = static_cast<std::uint32_t>(op == Op::Div ? std::int64_t{sa} / sb : std::int64_t{sa} % sb);
        break;
    case Op::And: r = a & b; break;
    case Op::Or: r = a | b; break;
    case Op::Xor: r = a ^ b; break;
    case Op::Shl: r = b >= 32 ? 0 : a << b; break;
    case Op::Shr: r = b >= 32 ? 0 : a >> b; break;
    case Op::Eq: r = a == b ? ~0u : 0; break;
    case Op::Ne: r = a != b ? ~0u : 0; break;
    case Op::Lt: r = sa < sb ? ~0u : 0; break;
    case Op::Le: r = sa <= sb ? ~0u : 0; break;
    case Op::Gt: r = sa > sb ? ~0u : 0; break;
    case Op::Ge: r = sa >= sb ? ~0u : 0; break;
    case Op::BitOf:
        if (sb < 0 || sb > 7)
            fault = OpFault::BitNumber;
        else if (sa >= 0x20 && sa <= 0x2F)
            r = static_cast<std::uint32_t>((sa - 0x20) * 8 + sb);
        else if (sa >= 0x80 && sa <= 0xFF && sa % 8 == 0)
            r = static_cast<std::uint32_t>(sa + sb);
        else
            fault = OpFault::NoBits;
        break;
    default: break;
    }
    return static_cast<std::int32_t>(r);
}

// The message of a fault of `a` op `b`.
inline std::string FaultMessage(OpFault fault, std::int32_t a, std::int32_t b)
{
    switch (fault) {
    case OpFault::DivisionByZero: return "division by zero";
    case OpFault::BitNumber: return "bit number " + std::to_string(b) + " is not 0 to 7";
    case OpFault::NoBits:
        return "address " + Hex4(static_cast<std::uint32_t>(a)) +
               " has no addressable bits (20H-2FH and SFRs at multiples of 8)";
    default: return {};
    }
}

} // namespace m51asm
