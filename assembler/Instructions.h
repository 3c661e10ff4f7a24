#pragma once
// The 8051 instruction set as data: every mnemonic with the operand forms it
// takes and how each form is encoded. One row a form; a row with an Rn or @Ri
// operand stands for the eight (or two) opcodes that carry the register number
// in their low bits.

#include <cstdint>
#include <span>
#include <string_view>

namespace m51asm {

// Operand forms as written in the source.
enum class Mode : std::uint8_t {
    None,
    A,        // A
    AB,       // AB
    C,        // C (carry)
    Dptr,     // DPTR
    Reg,      // R0-R7
    AtReg,    // @R0, @R1
    AtDptr,   // @DPTR
    AtADptr,  // @A+DPTR
    AtAPc,    // @A+PC
    Imm,      // #expression
    NotBit,   // /expression
    Expr,     // expression: direct address, bit, code address or jump target
};

// What an instruction byte after the opcode holds.
enum class Field : std::uint8_t {
    None,
    Direct,  // data address 0-0FFH
    Bit,     // bit address 0-0FFH
    Imm8,    // byte constant
    Imm16,   // 16-bit constant, high byte first
    Rel,     // relative jump, one byte
    Addr11,  // AJMP/ACALL target: 3 bits in the opcode, one byte
    Addr16,  // LJMP/LCALL target, high byte first
};

enum class Mnemonic : std::uint8_t {
    Acall, Add, Addc, Ajmp, Anl, Call, Cjne, Clr, Cpl, Da, Dec, Div, Djnz, Inc, Jb, Jbc, Jc, Jmp, Jnb, Jnc,
    Jnz, Jz, Lcall, Ljmp, Mov, Movc, Movx, Mul, Nop, Orl, Pop, Push, Ret, Reti, Rl, Rlc, Rr, Rrc, Setb, Sjmp,
    Subb, Swap, Xch, Xchd, Xrl,
    Count
};

struct FieldSpec {
    Field kind = Field::None;
    std::uint8_t operand = 0;  // index of the operand that supplies the value
};

struct Form {
    Mnemonic mnemonic;
    std::uint8_t opcode;  // with register number 0 for Reg/AtReg rows
    std::uint8_t operandCount;
    Mode modes[3];
    FieldSpec fields[3];  // bytes after the opcode, in order
    std::uint8_t size;    // total bytes
};

// Forms with index 0xFFFF and these two stand for the generic JMP and CALL,
// whose size the layout passes choose.
inline constexpr std::uint16_t kGenericJmp = 0xFFFE;
inline constexpr std::uint16_t kGenericCall = 0xFFFD;

// All forms, grouped by mnemonic.
std::span<const Form> Forms();

// Index of the form of `mnemonic` whose operand modes are `modes`, or -1.
int FindForm(Mnemonic mnemonic, std::span<const Mode> modes);

// The mnemonic's name in capitals.
std::string_view MnemonicName(Mnemonic m);

} // namespace m51asm
