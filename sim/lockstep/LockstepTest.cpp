// The core against s51, instruction by instruction: the samples and random
// instruction streams run on both, and registers, cycles, internal RAM and
// SFRs must agree after every step (RAM and SFRs after every few steps, where
// s51's dumps are slow).

#include "sim/Machine.h"
#include "debugger/ProgramBuilder.h"
#include "sim/lockstep/S51Trace.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

using namespace sim;
using namespace sim::lockstep;

namespace {

constexpr double crystal = 11059200.0;

std::string hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

// Differences between the core and s51 after one step, empty when they agree.
std::string compare(const Machine& m, const S51Step& s)
{
    std::ostringstream d;
    auto sfr = [&m](unsigned a) { return m.read(Space::Sfr, a); };
    auto check = [&d](const char* what, unsigned core, unsigned ref) {
        if (core != ref)
            d << ' ' << what << " core " << std::hex << core << " s51 " << ref;
    };
    check("PC", m.pc(), s.pc);
    check("cycles", static_cast<unsigned>(m.cycles()), static_cast<unsigned>(s.ticks / 12));
    if (!s.registers && !s.full)
        return d.str();
    if (s.registers) {
    check("A", sfr(0xE0), s.acc);
    check("B", sfr(0xF0), s.b);
    check("PSW", sfr(0xD0), s.psw);
    check("SP", sfr(0x81), s.sp);
    check("DPTR", sfr(0x83) << 8 | sfr(0x82), s.dptr);
    const unsigned bank = sfr(0xD0) & 0x18;
    for (unsigned i = 0; i < 8; ++i)
        check(("R" + std::to_string(i)).c_str(), m.read(Space::Iram, bank + i), s.r[i]);
    }
    if (!s.full)
        return d.str();
    for (unsigned a = 0; a < 256; ++a)
        check(("iram[" + hex2(a) + "]").c_str(), m.read(Space::Iram, a), s.iram[a]);
    for (unsigned a = 0x80; a < 0x100; ++a) {
        if (a == 0x99)
            continue;  // SBUF: s51 shows the byte sent, the core the byte received
        check(("sfr[" + hex2(a) + "]").c_str(), sfr(a), s.sfr[a - 0x80]);
    }
    return d.str();
}

// Runs `code` on both for `steps` steps; the first disagreement, or empty.
std::string lockstep(const std::vector<uint8_t>& code, unsigned used, unsigned steps, unsigned fullEvery,
                     const std::string& dir)
{
    const std::string hexPath = dir + "/program.hex";
    {
        FILE* f = std::fopen(hexPath.c_str(), "wb");
        const std::string hex = ToIntelHex(code, 0, used);
        std::fwrite(hex.data(), 1, hex.size(), f);
        std::fclose(f);
    }
    const auto output = RunS51(S51Script(hexPath, steps, fullEvery), dir, crystal);
    if (!output)
        return "s51 could not be run";
    const std::vector<S51Step> trace = ParseS51Trace(*output);
    if (trace.size() != steps)
        return "s51 reported " + std::to_string(trace.size()) + " of " + std::to_string(steps) + " steps";
    Board board;
    board.crystalHz = crystal;
    board.interruptEntryCycles = 1;  // s51 counts the entry's LCALL as one cycle
    Machine m(*findChip("8052"), board);
    m.loadCode(code.data(), used);
    for (unsigned i = 0; i < steps; ++i) {
        const uint16_t pc = m.pc();
        std::string bytes;
        for (unsigned k = 0; k < 3; ++k)
            bytes += hex2(m.read(Space::Code, (pc + k) & 0xFFFF)) + ' ';
        m.step();
        // s51's step that accepts an interrupt goes on through the entry and
        // the handler's first instruction.
        while (m.pendingInterrupt() >= 0) {
            m.step();
            m.step();
        }
        // s51 sends a mode 1/3 frame in 10 x 16 timer-1 overflows whatever SMOD
        // is: with SMOD clear (the usual case) twice as fast as the chip
        // (2^SMOD/32 of the overflow rate). Its flags and everything timed
        // by them part from the chip there, so a program is compared up to
        // its first byte sent.
        if (m.serialSending())
            return {};
        const std::string diff = compare(m, trace[i]);
        if (!diff.empty()) {
            std::ostringstream msg;
            msg << "step " << i + 1 << " at " << std::hex << pc << " (" << bytes << "):" << diff;
            return msg.str();
        }
    }
    return {};
}

// ---- random instruction streams ----------------------------------------------------

// Operand bytes of each opcode: d direct, b bit, i immediate, r relative,
// a 11-bit address, A 16-bit address, I 16-bit immediate.
std::string operands(uint8_t op)
{
    const uint8_t lo = op & 0x0F;
    if (lo == 1)
        return "a";
    switch (op) {
    case 0x02: case 0x12: return "A";
    case 0x90: return "I";
    case 0x10: case 0x20: case 0x30: return "br";
    case 0x40: case 0x50: case 0x60: case 0x70: case 0x80: return "r";
    case 0x43: case 0x53: case 0x63: case 0x75: return "di";
    case 0x85: return "dd";
    case 0x72: case 0x82: case 0xA0: case 0xB0: case 0xA2: case 0x92: case 0xB2: case 0xC2: case 0xD2: return "b";
    case 0xB4: return "ir";
    case 0xB5: case 0xD5: return "dr";
    case 0x05: case 0x15: case 0x42: case 0x52: case 0x62: case 0xC0: case 0xD0: case 0xC5: case 0xE5: case 0xF5:
        return "d";
    case 0x74: return "i";
    default: break;
    }
    if (op >= 0x24 && op <= 0x9F && lo == 4 && op != 0x84)
        return "i";
    if (op >= 0x25 && op <= 0x95 && lo == 5 && op != 0x85 && op != 0x75)
        return "d";
    if ((op >= 0x86 && op <= 0x8F) || (op >= 0xA6 && op <= 0xAF))
        return "d";
    if (op >= 0x76 && op <= 0x7F)
        return "i";
    if ((op >= 0xB6 && op <= 0xBF))
        return "ir";
    if (op >= 0xD8 && op <= 0xDF)
        return "r";
    return "";
}

// A block of random instructions at 100H whose jumps land on instruction
// starts, with RETI at every interrupt vector and a jump back at its end.
std::vector<uint8_t> randomProgram(uint32_t seed, unsigned count, unsigned& used)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    static const uint8_t sfrs[] = {0x80, 0x81, 0x82, 0x83, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x90, 0x98, 0xA0,
                                   0xA8, 0xB0, 0xB8, 0xC8, 0xCA, 0xCB, 0xCC, 0xCD, 0xD0, 0xE0, 0xF0};
    static const uint8_t bitSfrs[] = {0x80, 0x88, 0x90, 0x98, 0xA0, 0xA8, 0xB0, 0xB8, 0xC8, 0xD0, 0xE0, 0xF0};
    std::vector<uint8_t> code(65536, 0);
    code[0] = 0x02, code[1] = 0x01, code[2] = 0x00;
    for (unsigned v = 3; v <= 0x2B; v += 8)
        code[v] = 0x32;  // RETI
    struct Insn { unsigned at; uint8_t op; std::string kinds; };
    std::vector<Insn> insns;
    unsigned at = 0x100;
    for (unsigned i = 0; i < count; ++i) {
        uint8_t op;
        do
            op = static_cast<uint8_t>(pick(256));
        while (op == 0x22 || op == 0x32 || op == 0x73);  // returns and JMP @A+DPTR leave the block
        insns.push_back({at, op, operands(op)});
        at += 1 + static_cast<unsigned>(insns.back().kinds.size()) + (insns.back().kinds.find_first_of("AI") != std::string::npos);
    }
    const unsigned end = at;
    code[end] = 0x02, code[end + 1] = 0x01, code[end + 2] = 0x00;
    used = end + 3;
    for (size_t i = 0; i < insns.size(); ++i) {
        const Insn& in = insns[i];
        unsigned p = in.at;
        code[p++] = in.op;
        const unsigned next = p + static_cast<unsigned>(in.kinds.size()) + (in.kinds.find_first_of("AI") != std::string::npos);
        // a target: mostly forward, within reach of a relative jump
        auto target = [&]() -> unsigned {
            const bool forward = pick(5) != 0;
            const size_t j = forward ? std::min(insns.size() - 1, i + 1 + pick(20)) : (i >= 10 ? i - pick(10) : i);
            unsigned t = insns[j].at;
            if (j == insns.size() - 1 && forward)
                t = end;
            if (static_cast<int>(t) - static_cast<int>(next) > 127 || static_cast<int>(t) - static_cast<int>(next) < -128)
                t = next;
            return t;
        };
        for (char k : in.kinds) {
            switch (k) {
            case 'd': code[p++] = pick(4) ? static_cast<uint8_t>(pick(0x80)) : sfrs[pick(sizeof sfrs)]; break;
            case 'b': code[p++] = pick(4) ? static_cast<uint8_t>(pick(0x80)) : static_cast<uint8_t>(bitSfrs[pick(sizeof bitSfrs)] + pick(8)); break;
            case 'i': code[p++] = static_cast<uint8_t>(pick(256)); break;
            case 'r': code[p++] = static_cast<uint8_t>(target() - next); break;
            case 'a': {
                const unsigned t = target();
                code[p - 1] = static_cast<uint8_t>(((t >> 3) & 0xE0) | (in.op & 0x1F));
                code[p++] = static_cast<uint8_t>(t);
                break;
            }
            case 'A': {
                const unsigned t = target();
                code[p++] = static_cast<uint8_t>(t >> 8);
                code[p++] = static_cast<uint8_t>(t);
                break;
            }
            case 'I': code[p++] = static_cast<uint8_t>(pick(256)); code[p++] = static_cast<uint8_t>(pick(256)); break;
            }
        }
    }
    return code;
}

class Lockstep : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    std::string dir() const { return qEnvironmentVariableIsSet("M51_LOCKSTEP_DIR") ? qgetenv("M51_LOCKSTEP_DIR").toStdString() : m_dir.path().toStdString(); }
};

TEST_F(Lockstep, RandomInstructionStreams)
{
    ASSERT_TRUE(m_dir.isValid());
    // M51_LOCKSTEP_SEED=N reruns one stream (with M51_LOCKSTEP_DIR to keep s51's answers).
    const uint32_t only = static_cast<uint32_t>(qEnvironmentVariableIntValue("M51_LOCKSTEP_SEED"));
    for (uint32_t seed = only ? only : 1; seed <= (only ? only : 20); ++seed) {
        unsigned used = 0;
        const std::vector<uint8_t> code = randomProgram(seed, 160, used);
        const std::string diff = lockstep(code, used, 400, 4, dir());
        EXPECT_EQ(diff, "") << "random stream " << seed;
    }
}

TEST_F(Lockstep, Samples)
{
    ASSERT_TRUE(m_dir.isValid());
    const QDir examples(QStringLiteral(M51_EXAMPLES_DIR));
    const QStringList files = examples.entryList({QStringLiteral("*.M51")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        QFile file(examples.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray source = file.readAll();
        const m51dbg::BuildOutput built =
            m51dbg::BuildM51(std::string(source.constData(), source.size()), name, m_dir.path());
        ASSERT_TRUE(built.ok) << name.toStdString();
        unsigned used = 0;
        for (unsigned a = 0; a < built.program.code.size(); ++a)
            if (built.program.code[a])
                used = a + 1;
        const std::string diff = lockstep(built.program.code, used, 1500, 8, dir());
        EXPECT_EQ(diff, "") << name.toStdString();
    }
}

// The reading of s51's answers, on a report as s51 0.6.4 prints it.
TEST(S51Trace, ReadsStepsClockAndDumps)
{
    std::string out =
        "Stop at 0x000105: (109) stepped 12 ticks\n"
        "     R0 R1 R2 R3 R4 R5 R6 R7\n"
        "     08 70 d4 b2 8a 29 54 00\n"
        "@R0 9a .  ACC= 0x3c  60 <  B= 0x01\n"
        "@R1 84 .  PSW= 0x81 CY=1 AC=0 OV=0 P=1\n"
        "SP 0x09 -> 00 54 29 8a b2 d4 70 08\n"
        "   DPTR= 0x12ab @DPTR= 0x95 149 .\n"
        "0x0105  ? ff       MOV    R7,A\x1b[0K\n"
        "F 0x000105\n"
        "36\n";
    for (unsigned row = 0; row < 24; ++row) {
        char line[100];
        std::snprintf(line, sizeof line, "0x%02x", (row * 16) & 0xFF);
        out += line;
        for (unsigned i = 0; i < 16; ++i)
            out += " " + hex2(row);
        out += " ................\n";
    }
    out += "Stop at 0x000106: (109) stepped 12 ticks\n48\n";
    const auto steps = ParseS51Trace(out);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].pc, 0x105);
    EXPECT_EQ(steps[0].ticks, 36u);
    EXPECT_EQ(steps[0].acc, 0x3C);
    EXPECT_EQ(steps[0].b, 0x01);
    EXPECT_EQ(steps[0].psw, 0x81);
    EXPECT_EQ(steps[0].sp, 0x09);
    EXPECT_EQ(steps[0].dptr, 0x12AB);
    EXPECT_EQ(steps[0].r[1], 0x70);
    ASSERT_TRUE(steps[0].full);
    EXPECT_EQ(steps[0].iram[0x1F], 1);
    EXPECT_EQ(steps[0].sfr[0x7F], 23);
    EXPECT_FALSE(steps[1].full);
    EXPECT_EQ(steps[1].ticks, 48u);
}

}  // namespace
