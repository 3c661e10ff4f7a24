#include "sim/Disassembler.h"

#include "sim/SfrTable.h"

#include <cstdio>

namespace sim {

namespace {

// An operand template per opcode. Codes take the next instruction byte(s):
// %d direct address, %b bit, %n /bit, %i #data, %I #data16, %r relative
// target, %a 11-bit target in the page, %l 16-bit address.
// Opcodes x0-x4 of each row of sixteen.
const char* const Low[16][5] = {
    {"NOP", "AJMP %a", "LJMP %l", "RR A", "INC A"},
    {"JBC %b,%r", "ACALL %a", "LCALL %l", "RRC A", "DEC A"},
    {"JB %b,%r", "AJMP %a", "RET", "RL A", "ADD A,%i"},
    {"JNB %b,%r", "ACALL %a", "RETI", "RLC A", "ADDC A,%i"},
    {"JC %r", "AJMP %a", "ORL %d,A", "ORL %d,%i", "ORL A,%i"},
    {"JNC %r", "ACALL %a", "ANL %d,A", "ANL %d,%i", "ANL A,%i"},
    {"JZ %r", "AJMP %a", "XRL %d,A", "XRL %d,%i", "XRL A,%i"},
    {"JNZ %r", "ACALL %a", "ORL C,%b", "JMP @A+DPTR", "MOV A,%i"},
    {"SJMP %r", "AJMP %a", "ANL C,%b", "MOVC A,@A+PC", "DIV AB"},
    {"MOV DPTR,%I", "ACALL %a", "MOV %b,C", "MOVC A,@A+DPTR", "SUBB A,%i"},
    {"ORL C,%n", "AJMP %a", "MOV C,%b", "INC DPTR", "MUL AB"},
    {"ANL C,%n", "ACALL %a", "CPL %b", "CPL C", "CJNE A,%i,%r"},
    {"PUSH %d", "AJMP %a", "CLR %b", "CLR C", "SWAP A"},
    {"POP %d", "ACALL %a", "SETB %b", "SETB C", "DA A"},
    {"MOVX A,@DPTR", "AJMP %a", "MOVX A,@R0", "MOVX A,@R1", "CLR A"},
    {"MOVX @DPTR,A", "ACALL %a", "MOVX @R0,A", "MOVX @R1,A", "CPL A"},
};

// Opcodes x5-xF: one form per row, X the operand of the low nibble (x5 a
// direct address, x6/x7 @R0/@R1, x8-xF R0-R7).
const char* const High[16] = {
    "INC X", "DEC X", "ADD A,X", "ADDC A,X", "ORL A,X", "ANL A,X", "XRL A,X", "MOV X,%i",
    "MOV %d,X", "SUBB A,X", "MOV X,%d", "CJNE X,%i,%r", "XCH A,X", "DJNZ X,%r", "MOV A,X", "MOV X,A",
};

const char* special(uint8_t opcode)
{
    switch (opcode) {
    case 0x85: return "MOV %d,%d";  // source byte first: swapped below
    case 0xA5: return nullptr;
    case 0xB5: return "CJNE A,%d,%r";
    case 0xD6: return "XCHD A,@R0";
    case 0xD7: return "XCHD A,@R1";
    default: return "";
    }
}

std::string pattern(uint8_t opcode)
{
    const unsigned row = opcode >> 4, low = opcode & 0xF;
    if (low < 5)
        return Low[row][low];
    if (const char* s = special(opcode); !s || *s)
        return s ? s : "";
    static const char* const Operands[] = {"%d", "@R0", "@R1", "R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"};
    std::string text = High[row];
    text.replace(text.rfind('X'), 1, Operands[low - 5]);
    return text;
}

std::string hex(unsigned value, int digits)
{
    char text[12];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return (text[0] >= 'A' ? "0" : "") + std::string(text);
}

}  // namespace

unsigned instructionLength(uint8_t opcode)
{
    const std::string p = pattern(opcode);
    unsigned length = 1;
    for (size_t i = 0; i + 1 < p.size(); ++i)
        if (p[i] == '%')
            length += (p[i + 1] == 'I' || p[i + 1] == 'l') ? 2 : 1;
    return length;
}

std::optional<uint16_t> jumpTarget(uint16_t address, uint8_t opcode, uint8_t first, uint8_t second)
{
    auto after = [address](unsigned length, uint8_t offset) {
        return static_cast<uint16_t>(address + length + static_cast<int8_t>(offset));
    };
    if ((opcode & 0x0F) == 0x01)  // AJMP, ACALL
        return static_cast<uint16_t>(((address + 2) & 0xF800) | (opcode & 0xE0) << 3 | first);
    switch (opcode) {
    case 0x02: case 0x12: return static_cast<uint16_t>(first << 8 | second);  // LJMP, LCALL
    case 0x40: case 0x50: case 0x60: case 0x70: case 0x80: return after(2, first);  // JC JNC JZ JNZ SJMP
    case 0x10: case 0x20: case 0x30: case 0xD5: return after(3, second);  // JBC JB JNB, DJNZ direct
    default: break;
    }
    if ((opcode & 0xF8) == 0xD8)  // DJNZ Rn
        return after(2, first);
    if (opcode >= 0xB4 && opcode <= 0xBF)  // CJNE
        return after(3, second);
    return std::nullopt;
}

Disassembled disassemble(const uint8_t bytes[3], uint16_t address, const Chip* chip)
{
    const uint8_t opcode = bytes[0];
    Disassembled result;
    const std::string p = pattern(opcode);
    if (p.empty()) {
        result.text = "DB " + hex(opcode, 2);
        return result;
    }
    const std::vector<SfrInfo> sfrs = sfrsOf(chip);
    auto direct = [&](uint8_t a) {
        const SfrInfo* sfr = a >= 0x80 ? findSfr(sfrs, a) : nullptr;
        return sfr ? std::string(sfr->name) : hex(a, 2);
    };
    const unsigned length = instructionLength(opcode);
    result.target = jumpTarget(address, opcode, bytes[1], bytes[2]);
    unsigned at = 1;
    std::string text;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%') {
            text += p[i];
            continue;
        }
        const char code = p[++i];
        // MOV direct,direct keeps the source in the first byte.
        const unsigned index = opcode == 0x85 ? 3 - at : at;
        const uint8_t byte = bytes[index];
        ++at;
        switch (code) {
        case 'd': text += direct(byte); break;
        case 'b': text += bitName(sfrs, byte); break;
        case 'n': text += "/" + bitName(sfrs, byte); break;
        case 'i': text += "#" + hex(byte, 2); break;
        case 'I': text += "#" + hex(unsigned(byte) << 8 | bytes[at++], 4); break;
        case 'l': ++at; break;  // the target's low byte
        }
        if (code == 'r' || code == 'a' || code == 'l')
            text += hex(*result.target, 4);
    }
    result.text = std::move(text);
    result.length = length;
    return result;
}

}  // namespace sim
