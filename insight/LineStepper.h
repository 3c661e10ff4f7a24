#pragma once
// Stepping forward by line, as Zelvar's debugger and m51sim's debug adapter
// do it: over a line, into, out of a procedure, and to an address (the
// caret). The core runs on its run loop through the history up to the next
// instruction at an address the step looks at (its marks: the breakpoints,
// and the target, the line starts, the return instructions, or over a line
// the other lines' starts, the calls and every interrupt entry); there the
// step decides whether it is over and, if not, runs on past that mark. A call
// or an interrupt entry met while stepping over a line is made as one step,
// and then run through to its return address with the stack back where it
// was. The rules of lines are LineWalk's; every step goes through the
// history, so stepping back (LineBack) returns exactly.
//
// A breakpoint counts before an instruction, except the step's first; where
// one stands, the caller's test decides (its condition, its hit count).

#include "insight/History.h"

#include "simrun/LineWalk.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace insight {

class LineStepper {
public:
    enum class Mode { Over, Into, Out, To };
    enum class Outcome { Going, Done, Breakpoint, PowerDown };
    using BreakpointTest = std::function<bool(uint16_t address)>;

    LineStepper(History& history, sim::Machine& machine) : m_history(history), m_machine(machine) {}

    // The program's lines (kept by the caller); its code is read from the machine.
    void setProgram(const toolchain::LineTable& lines, const toolchain::SourceMap& map);
    // A byte of code memory changed (a return instruction may come or go).
    void codeChanged(uint16_t address);
    // The caller's breakpoints changed: the marks are made again.
    void breakpointsChanged() { m_marksValid = false; }

    // A step from the PC as it is now; `target` for Mode::To.
    void begin(Mode mode, uint16_t target = 0);
    // Steps on for about `cycleBudget` machine cycles. `breakpoints` (64 K
    // entries, kept by the caller) marks where breakpoints stand.
    Outcome advance(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints, const BreakpointTest& stops);

private:
    bool singleStep() const;
    std::optional<Outcome> walkStep(const std::vector<uint8_t>& breakpoints, const BreakpointTest& stops);
    std::optional<Outcome> runPiece(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints,
                                    const BreakpointTest& stops);
    void buildMarks(const std::vector<uint8_t>& breakpoints);
    uint8_t sp() const { return m_machine.read(sim::Space::Sfr, 0x81); }
    uint8_t codeAt(uint16_t address) const { return m_machine.read(sim::Space::Code, address); }

    // A call or interrupt handler being run through to its return.
    struct Through {
        bool active = false;
        uint16_t address = 0;
        uint8_t sp = 0;
    };

    History& m_history;
    sim::Machine& m_machine;
    const toolchain::LineTable* m_lines = nullptr;
    const toolchain::SourceMap* m_map = nullptr;
    std::vector<uint8_t> m_lineStarts = std::vector<uint8_t>(0x10000), m_returns = std::vector<uint8_t>(0x10000),
                         m_calls = std::vector<uint8_t>(0x10000);
    StopTable m_marks;
    bool m_marksValid = false;
    Mode m_mode = Mode::Over;
    m51dbg::LineWalk m_walk;
    Through m_through;
    bool m_first = true;  // the instruction at the PC runs even where marked
    bool m_outNow = false;  // stepping out from a return instruction: it alone
    uint16_t m_target = 0;
    int m_own = -1;       // stepping into: the start of the line stepped from
    uint8_t m_outSp = 0;
};

} // namespace insight
