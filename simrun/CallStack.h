#pragma once
// The call stack of a stopped program, read from its stack: the bytes from the
// stack's base up to SP, the return addresses among them (each an LCALL's or
// ACALL's, or an interrupt's), and the procedure every frame runs in, named by
// the program's code labels (M51 procedures, or assembly labels). Also the
// state of each interrupt source of the chip. Plain C++, no Qt.

#include "simrun/MachineState.h"
#include "toolchain/Program.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace m51dbg {

using toolchain::Instruction;
using toolchain::SourceMap;

struct CodeName {
    std::string name;
    uint16_t address = 0;
    uint32_t end = 0;  // one past its code where known (a C function); 0: up to the next name
};

// The interrupt sources in vector order: 0 INT0, 1 timer 0, 2 INT1, 3 timer 1, 4 serial, 5 timer 2.
constexpr uint16_t InterruptVector(int source) { return static_cast<uint16_t>(0x03 + 8 * source); }

struct StackFrame {
    enum class Entry { Reset, Call, Interrupt };
    std::string procedure;  // empty when no label names the code
    uint16_t entry = 0;     // where the procedure starts (the call's target, the handler)
    uint16_t at = 0;        // the frame's position: the PC, or the call the frame waits in, or the interrupted instruction
    int sourceLine = -1, asmLine = -1;  // of `at` (0-based)
    Entry enteredBy = Entry::Reset;     // how this frame was entered
    int interruptSource = -1;           // Entry::Interrupt: which source
    int returnSlot = -1;                // the iram address of the low byte of its return address (-1: none)
    uint16_t returnAddress = 0;
};

struct StackView {
    unsigned base = 8;                // the lowest byte of the stack
    std::vector<StackFrame> frames;  // the innermost (the PC's) first
};

// `procedures`: the code labels that name procedures, any order. A return
// address is taken as one where the instruction before it calls the frame's
// procedure (for procedures whose ends are known: an LCALL or ACALL of the
// one the frame runs in), or, in an interrupt handler, the pair right below
// what the handler pushed since its entry (anywhere, as an instruction's
// start, when its pushes are not known). The instructions are those of
// `map`, else those of `modules` (a C program's), else any address.
StackView ReadStack(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map,
                    const std::vector<CodeName>& procedures, bool timer2,
                    const std::vector<toolchain::ModuleAssembly>& modules = {});
// The same for a program: its code, source map and module assemblies.
StackView ReadStack(const MachineState& machine, const toolchain::Program& program,
                    const std::vector<CodeName>& procedures, bool timer2);

// The registers a caller saved for the call `called` returns from: SDCC
// pushes those it still needs right before the LCALL and pops them right
// after it (past the parameters of a reentrant function, which it drops
// first). Each is a register number (0..7 of the bank) and the internal RAM
// byte keeping it; none for a frame an interrupt entered.
std::vector<std::pair<int, uint8_t>> SavedRegisters(const std::vector<uint8_t>& code, const StackFrame& called);

// Where the stack begins: after the first "MOV SP,#n" of the program that SP
// has not gone below (without a source map: among the first instructions
// the reset vector leads to, as SDCC's start-up code sets it), else at 08H
// (SP's reset value 07H plus one).
unsigned StackBase(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map);

// The M51 procedures of a source: the names of its PROCEDURE lines (upper
// case), as the compiler finds them.
std::vector<std::string> ProcedureNames(const std::string& m51Source);

// The names of the call stack: the program's functions (a C program's with their ends).
std::vector<CodeName> ProceduresOf(const toolchain::Program& program);

struct InterruptState {
    const char* name;        // "External 0", "Timer 0", ...
    const char* enableBit;   // "EX0", "ET0", ...
    bool enabled = false;    // its enable bit and EA
    bool pending = false;    // its request flag(s)
    bool inService = false;  // its handler runs (a frame of the stack)
    int priority = 0;        // 0 low, 1 high (IP)
};
std::vector<InterruptState> InterruptStates(const MachineState& machine, const StackView& stack, bool timer2);

} // namespace m51dbg
