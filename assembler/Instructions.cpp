#include "assembler/Instructions.h"

#include <array>

namespace m51asm {

namespace {

using M = Mnemonic;
using O = Mode;
using F = Field;

constexpr FieldSpec None{};
constexpr FieldSpec Dir(int i) { return {F::Direct, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec Bit(int i) { return {F::Bit, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec Imm(int i) { return {F::Imm8, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec Imm16(int i) { return {F::Imm16, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec Rel(int i) { return {F::Rel, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec A11(int i) { return {F::Addr11, static_cast<std::uint8_t>(i)}; }
constexpr FieldSpec A16(int i) { return {F::Addr16, static_cast<std::uint8_t>(i)}; }

constexpr int FieldBytes(FieldSpec f)
{
    return f.kind == F::None ? 0 : (f.kind == F::Imm16 || f.kind == F::Addr16) ? 2 : 1;
}

constexpr Form Row(M m, int opcode, std::array<O, 3> modes, std::array<FieldSpec, 3> fields = {None, None, None})
{
    const int count = (modes[0] != O::None) + (modes[1] != O::None) + (modes[2] != O::None);
    return Form{m, static_cast<std::uint8_t>(opcode), static_cast<std::uint8_t>(count),
                {modes[0], modes[1], modes[2]}, {fields[0], fields[1], fields[2]},
                static_cast<std::uint8_t>(1 + FieldBytes(fields[0]) + FieldBytes(fields[1]) + FieldBytes(fields[2]))};
}

constexpr O n = O::None;

// The arithmetic and logic group: OP A,#d / A,dir / A,@Ri / A,Rn at base+4..
#define ALU(m, base)                                              \
    Row(m, base + 4, {O::A, O::Imm, n}, {Imm(1), None, None}),    \
    Row(m, base + 5, {O::A, O::Expr, n}, {Dir(1), None, None}),   \
    Row(m, base + 6, {O::A, O::AtReg, n}),                        \
    Row(m, base + 8, {O::A, O::Reg, n})
#define LOGIC(m, base)                                                    \
    ALU(m, base),                                                         \
    Row(m, base + 2, {O::Expr, O::A, n}, {Dir(0), None, None}),           \
    Row(m, base + 3, {O::Expr, O::Imm, n}, {Dir(0), Imm(1), None})

constexpr Form kForms[] = {
    Row(M::Acall, 0x11, {O::Expr, n, n}, {A11(0), None, None}),
    ALU(M::Add, 0x20),
    ALU(M::Addc, 0x30),
    Row(M::Ajmp, 0x01, {O::Expr, n, n}, {A11(0), None, None}),
    LOGIC(M::Anl, 0x50),
    Row(M::Anl, 0x82, {O::C, O::Expr, n}, {Bit(1), None, None}),
    Row(M::Anl, 0xB0, {O::C, O::NotBit, n}, {Bit(1), None, None}),
    Row(M::Cjne, 0xB4, {O::A, O::Imm, O::Expr}, {Imm(1), Rel(2), None}),
    Row(M::Cjne, 0xB5, {O::A, O::Expr, O::Expr}, {Dir(1), Rel(2), None}),
    Row(M::Cjne, 0xB6, {O::AtReg, O::Imm, O::Expr}, {Imm(1), Rel(2), None}),
    Row(M::Cjne, 0xB8, {O::Reg, O::Imm, O::Expr}, {Imm(1), Rel(2), None}),
    Row(M::Clr, 0xE4, {O::A, n, n}),
    Row(M::Clr, 0xC3, {O::C, n, n}),
    Row(M::Clr, 0xC2, {O::Expr, n, n}, {Bit(0), None, None}),
    Row(M::Cpl, 0xF4, {O::A, n, n}),
    Row(M::Cpl, 0xB3, {O::C, n, n}),
    Row(M::Cpl, 0xB2, {O::Expr, n, n}, {Bit(0), None, None}),
    Row(M::Da, 0xD4, {O::A, n, n}),
    Row(M::Dec, 0x14, {O::A, n, n}),
    Row(M::Dec, 0x15, {O::Expr, n, n}, {Dir(0), None, None}),
    Row(M::Dec, 0x16, {O::AtReg, n, n}),
    Row(M::Dec, 0x18, {O::Reg, n, n}),
    Row(M::Div, 0x84, {O::AB, n, n}),
    Row(M::Djnz, 0xD5, {O::Expr, O::Expr, n}, {Dir(0), Rel(1), None}),
    Row(M::Djnz, 0xD8, {O::Reg, O::Expr, n}, {Rel(1), None, None}),
    Row(M::Inc, 0x04, {O::A, n, n}),
    Row(M::Inc, 0x05, {O::Expr, n, n}, {Dir(0), None, None}),
    Row(M::Inc, 0x06, {O::AtReg, n, n}),
    Row(M::Inc, 0x08, {O::Reg, n, n}),
    Row(M::Inc, 0xA3, {O::Dptr, n, n}),
    Row(M::Jb, 0x20, {O::Expr, O::Expr, n}, {Bit(0), Rel(1), None}),
    Row(M::Jbc, 0x10, {O::Expr, O::Expr, n}, {Bit(0), Rel(1), None}),
    Row(M::Jc, 0x40, {O::Expr, n, n}, {Rel(0), None, None}),
    Row(M::Jmp, 0x73, {O::AtADptr, n, n}),
    Row(M::Jnb, 0x30, {O::Expr, O::Expr, n}, {Bit(0), Rel(1), None}),
    Row(M::Jnc, 0x50, {O::Expr, n, n}, {Rel(0), None, None}),
    Row(M::Jnz, 0x70, {O::Expr, n, n}, {Rel(0), None, None}),
    Row(M::Jz, 0x60, {O::Expr, n, n}, {Rel(0), None, None}),
    Row(M::Lcall, 0x12, {O::Expr, n, n}, {A16(0), None, None}),
    Row(M::Ljmp, 0x02, {O::Expr, n, n}, {A16(0), None, None}),
    Row(M::Mov, 0x74, {O::A, O::Imm, n}, {Imm(1), None, None}),
    Row(M::Mov, 0xE5, {O::A, O::Expr, n}, {Dir(1), None, None}),
    Row(M::Mov, 0xE6, {O::A, O::AtReg, n}),
    Row(M::Mov, 0xE8, {O::A, O::Reg, n}),
    Row(M::Mov, 0xF8, {O::Reg, O::A, n}),
    Row(M::Mov, 0xA8, {O::Reg, O::Expr, n}, {Dir(1), None, None}),
    Row(M::Mov, 0x78, {O::Reg, O::Imm, n}, {Imm(1), None, None}),
    Row(M::Mov, 0xF5, {O::Expr, O::A, n}, {Dir(0), None, None}),
    Row(M::Mov, 0x88, {O::Expr, O::Reg, n}, {Dir(0), None, None}),
    Row(M::Mov, 0x85, {O::Expr, O::Expr, n}, {Dir(1), Dir(0), None}),
    Row(M::Mov, 0x86, {O::Expr, O::AtReg, n}, {Dir(0), None, None}),
    Row(M::Mov, 0x75, {O::Expr, O::Imm, n}, {Dir(0), Imm(1), None}),
    Row(M::Mov, 0xF6, {O::AtReg, O::A, n}),
    Row(M::Mov, 0xA6, {O::AtReg, O::Expr, n}, {Dir(1), None, None}),
    Row(M::Mov, 0x76, {O::AtReg, O::Imm, n}, {Imm(1), None, None}),
    Row(M::Mov, 0xA2, {O::C, O::Expr, n}, {Bit(1), None, None}),
    Row(M::Mov, 0x92, {O::Expr, O::C, n}, {Bit(0), None, None}),
    Row(M::Mov, 0x90, {O::Dptr, O::Imm, n}, {Imm16(1), None, None}),
    Row(M::Movc, 0x93, {O::A, O::AtADptr, n}),
    Row(M::Movc, 0x83, {O::A, O::AtAPc, n}),
    Row(M::Movx, 0xE0, {O::A, O::AtDptr, n}),
    Row(M::Movx, 0xE2, {O::A, O::AtReg, n}),
    Row(M::Movx, 0xF0, {O::AtDptr, O::A, n}),
    Row(M::Movx, 0xF2, {O::AtReg, O::A, n}),
    Row(M::Mul, 0xA4, {O::AB, n, n}),
    Row(M::Nop, 0x00, {n, n, n}),
    LOGIC(M::Orl, 0x40),
    Row(M::Orl, 0x72, {O::C, O::Expr, n}, {Bit(1), None, None}),
    Row(M::Orl, 0xA0, {O::C, O::NotBit, n}, {Bit(1), None, None}),
    Row(M::Pop, 0xD0, {O::Expr, n, n}, {Dir(0), None, None}),
    Row(M::Push, 0xC0, {O::Expr, n, n}, {Dir(0), None, None}),
    Row(M::Ret, 0x22, {n, n, n}),
    Row(M::Reti, 0x32, {n, n, n}),
    Row(M::Rl, 0x23, {O::A, n, n}),
    Row(M::Rlc, 0x33, {O::A, n, n}),
    Row(M::Rr, 0x03, {O::A, n, n}),
    Row(M::Rrc, 0x13, {O::A, n, n}),
    Row(M::Setb, 0xD3, {O::C, n, n}),
    Row(M::Setb, 0xD2, {O::Expr, n, n}, {Bit(0), None, None}),
    Row(M::Sjmp, 0x80, {O::Expr, n, n}, {Rel(0), None, None}),
    ALU(M::Subb, 0x90),
    Row(M::Swap, 0xC4, {O::A, n, n}),
    Row(M::Xch, 0xC5, {O::A, O::Expr, n}, {Dir(1), None, None}),
    Row(M::Xch, 0xC6, {O::A, O::AtReg, n}),
    Row(M::Xch, 0xC8, {O::A, O::Reg, n}),
    Row(M::Xchd, 0xD6, {O::A, O::AtReg, n}),
    LOGIC(M::Xrl, 0x60),
};

#undef LOGIC
#undef ALU

constexpr std::string_view kNames[] = {
    "ACALL", "ADD", "ADDC", "AJMP", "ANL", "CALL", "CJNE", "CLR", "CPL", "DA", "DEC", "DIV", "DJNZ", "INC", "JB",
    "JBC", "JC", "JMP", "JNB", "JNC", "JNZ", "JZ", "LCALL", "LJMP", "MOV", "MOVC", "MOVX", "MUL", "NOP", "ORL",
    "POP", "PUSH", "RET", "RETI", "RL", "RLC", "RR", "RRC", "SETB", "SJMP", "SUBB", "SWAP", "XCH", "XCHD", "XRL",
};
static_assert(std::size(kNames) == static_cast<std::size_t>(M::Count));

// First form of each mnemonic and the number of its forms.
struct Range {
    std::uint16_t first = 0;
    std::uint16_t count = 0;
};

constexpr std::array<Range, static_cast<std::size_t>(M::Count)> MakeRanges()
{
    std::array<Range, static_cast<std::size_t>(M::Count)> ranges{};
    for (std::size_t i = 0; i < std::size(kForms); ++i) {
        Range& r = ranges[static_cast<std::size_t>(kForms[i].mnemonic)];
        if (r.count == 0)
            r.first = static_cast<std::uint16_t>(i);
        ++r.count;
    }
    return ranges;
}

constexpr auto kRanges = MakeRanges();

} // namespace

std::span<const Form> Forms()
{
    return kForms;
}

int FindForm(Mnemonic mnemonic, std::span<const Mode> modes)
{
    const Range r = kRanges[static_cast<std::size_t>(mnemonic)];
    for (int i = r.first; i < r.first + r.count; ++i) {
        const Form& f = kForms[i];
        if (f.operandCount != modes.size())
            continue;
        bool match = true;
        for (std::size_t k = 0; k < modes.size() && match; ++k)
            match = f.modes[k] == modes[k];
        if (match)
            return i;
    }
    return -1;
}

std::string_view MnemonicName(Mnemonic m)
{
    return kNames[static_cast<std::size_t>(m)];
}

} // namespace m51asm
