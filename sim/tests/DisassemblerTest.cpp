// The disassembler against the assembler: every opcode with several operand
// bytes, at addresses inside a 2 KB page and at its end, disassembled and
// assembled again must give the same bytes; a few texts as a user reads them.
#include "assembler/Assembler.h"
#include "sim/Disassembler.h"
#include "sim/SfrTable.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(Disassembler, EveryOpcodeAssemblesBackToItsBytes)
{
    // Operand bytes: RAM and its bit area, SFRs and their bits, a byte no SFR
    // has, jumps backward and forward.
    const uint8_t operands[][2] = {{0x30, 0x05}, {0xE0, 0xD7}, {0x90, 0x80}, {0x8E, 0xFF}, {0x7F, 0x2C}, {0xA8, 0xAF}};
    const uint16_t addresses[] = {0x1234, 0x07FE, 0x0100};
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        for (const auto& operand : operands) {
            for (uint16_t address : addresses) {
                const uint8_t bytes[3] = {uint8_t(opcode), operand[0], operand[1]};
                const sim::Disassembled d = sim::disassemble(bytes, address);
                ASSERT_EQ(d.length, sim::instructionLength(uint8_t(opcode)));
                char org[32];
                std::snprintf(org, sizeof org, "ORG %04XH\n", address);
                const m51asm::AssembleResult r = m51asm::Assemble(std::string(org) + " " + d.text + "\n");
                ASSERT_TRUE(r.errors.empty()) << opcode << " " << d.text << ": " << r.errors.front().message;
                for (unsigned i = 0; i < d.length; ++i)
                    ASSERT_EQ(r.image[address + i], bytes[i]) << d.text << " byte " << i << " at " << address;
                ASSERT_FALSE(r.written[address + d.length]) << d.text << " is longer than " << d.length;
            }
        }
    }
}

TEST(Disassembler, TextsAndTargets)
{
    struct Case {
        std::vector<uint8_t> bytes;
        uint16_t address;
        const char* chip;
        const char* text;
        int target;
    } const cases[] = {
        {{0x74, 0x2C}, 0x0100, nullptr, "MOV A,#2CH", -1},
        {{0x80, 0x03}, 0x0100, nullptr, "SJMP 0105H", 0x0105},
        {{0xD2, 0x90}, 0, nullptr, "SETB P1.0", -1},
        {{0x20, 0xE7, 0xFD}, 0x0200, nullptr, "JB ACC.7,0200H", 0x0200},
        {{0xC2, 0xAF}, 0, nullptr, "CLR EA", -1},
        {{0x85, 0x31, 0x30}, 0, nullptr, "MOV 30H,31H", -1},
        {{0x75, 0x98, 0x50}, 0, nullptr, "MOV SCON,#50H", -1},
        {{0x90, 0xAB, 0xCD}, 0, nullptr, "MOV DPTR,#0ABCDH", -1},
        {{0x11, 0x40}, 0x07FE, nullptr, "ACALL 0840H", 0x0840},
        {{0x12, 0x23, 0x45}, 0, nullptr, "LCALL 2345H", 0x2345},
        {{0xA5}, 0, nullptr, "DB 0A5H", -1},
        {{0xF5, 0x8E}, 0, "AT89S52", "MOV AUXR,A", -1},
        {{0xF5, 0x8E}, 0, "8051", "MOV 8EH,A", -1},
        {{0xF5, 0xC8}, 0, "8051", "MOV 0C8H,A", -1},
    };
    for (const Case& c : cases) {
        uint8_t bytes[3] = {};
        std::copy(c.bytes.begin(), c.bytes.end(), bytes);
        const sim::Disassembled d = sim::disassemble(bytes, c.address, c.chip ? sim::findChip(c.chip) : nullptr);
        EXPECT_EQ(d.text, c.text);
        EXPECT_EQ(d.length, c.bytes.size()) << c.text;
        EXPECT_EQ(d.target ? int(*d.target) : -1, c.target) << c.text;
    }
}

TEST(SfrTable, DerivativeExtrasAndBitNames)
{
    const auto plain = sim::sfrsOf(sim::findChip("8051"));
    const auto s52 = sim::sfrsOf(sim::findChip("AT89S52"));
    EXPECT_EQ(sim::findSfr(plain, 0xC8), nullptr);
    EXPECT_NE(sim::findSfr(s52, 0xC8), nullptr);
    EXPECT_NE(sim::findSfr(s52, 0xA2), nullptr);
    EXPECT_EQ(sim::bitName(s52, 0xCA), "TR2");
    EXPECT_EQ(sim::bitName(plain, 0xCA), "0C8H.2");
    EXPECT_EQ(sim::bitName(plain, 0x7F), "2FH.7");
    EXPECT_EQ(sim::bitName(plain, 0xB7), "P3.7");
}

}  // namespace
