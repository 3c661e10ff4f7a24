#pragma once
// The program under debug for m51sim's debug adapter: a program of any
// language built into the program model (toolchain::Program) and run on the
// simulator core with its virtual board. Every step goes through the run's
// history (insight::History), so stepping back and continuing in reverse
// reach the recent past, and a goto moves the PC as one of its inputs.
// Breakpoints go on lines of any source file of the program, on functions
// and labels, and on code addresses, with the debugger's break conditions
// and hit counts. The values the editor shows
// are those m51sim prints: registers, SFRs, iram[..]-style items and the
// program's names. Plain C++, no Qt.

#include "debugadapter/AdapterSession.h"
#include "insight/History.h"

#include "simrun/BreakConditions.h"
#include "simrun/MachineMemory.h"
#include "simrun/Watches.h"
#include "toolchain/CExpression.h"
#include "toolchain/LineTable.h"
#include "toolchain/Program.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {
class Machine;
}
namespace board {
class VirtualBoard;
}
namespace insight {
class History;
class LineStepper;
}

namespace m51dbg {
class SerialPty;
}

namespace m51dap {

using debugadapter::Json;
using debugadapter::Reply;

class CoreDebuggee : public debugadapter::Debuggee {
public:
    CoreDebuggee();
    ~CoreDebuggee() override;

    void setEventSink(EventSink sink) override { sink_ = std::move(sink); }
    Reply request(const std::string& command, const Json& arguments) override;
    bool running() const override { return mode_ != Mode::Stopped && mode_ != Mode::Idle && mode_ != Mode::Ended; }
    void runSlice() override;

    // The machine (null before launch), for tests.
    const sim::Machine* machine() const { return machine_.get(); }

private:
    enum class Mode { Idle, Stopped, Run, Next, StepIn, StepOut, Ended };
    struct HitCondition {
        enum class Op { None, Equal, AtLeast, Greater, Multiple } op = Op::None;
        unsigned count = 0;
    };
    struct Breakpoint {
        int id = 0;
        int address = -1;  // -1: not on code
        std::optional<m51dbg::BreakCondition> condition;
        std::string cCondition;  // a C program's condition, as a C expression
        HitCondition hit;
        unsigned hits = 0;
    };
    struct OutputListener;
    Reply launch(const Json& arguments);
    Reply configurationDone();
    Reply setBreakpoints(const Json& arguments);
    Reply setFunctionBreakpoints(const Json& arguments);
    Reply setInstructionBreakpoints(const Json& arguments);
    Reply resume(Mode mode);
    Reply stepBack();
    Reply reverseContinue();
    // goto: the lines of the current function a client may move the PC to, and the move.
    Reply gotoTargets(const Json& arguments);
    Reply gotoTarget(const Json& arguments);
    // Why the PC may not go to `address` (empty when it may).
    std::string gotoRefusal(uint16_t address) const;
    Reply stackTrace(const Json& arguments);
    Reply scopes(const Json& arguments);
    Reply variables(const Json& arguments);
    Reply setVariable(const Json& arguments);
    Reply evaluate(const Json& arguments);
    Reply readMemory(const Json& arguments);
    Reply writeMemory(const Json& arguments);
    Reply disassemble(const Json& arguments);
    // The program ended: exited (it powered down) or terminated by the client.
    Reply end(bool terminated);

    // A breakpoint's description for the client; the breakpoint takes its id and parsed conditions.
    Json makeBreakpoint(Breakpoint& breakpoint, int address, const Json& entry, std::string& message);
    void rebuildBreakpointTable();
    bool breakpointStops(uint16_t address, std::vector<int>& hitIds);
    void stop(const std::string& reason, const std::vector<int>& hitIds = {});
    void emit(const std::string& event, Json body);
    void flushOutput();
    Json sourceOf(int file) const;
    int fileIndex(const std::string& path) const;
    uint8_t readByte(m51dbg::WatchSpace space, unsigned address) const;
    void writeByte(m51dbg::WatchSpace space, unsigned address, uint8_t value);
    std::optional<std::string> valueOf(const std::string& expression, std::string& error,
                                       const toolchain::StopPlace& place) const;
    // Where frame `frameId` of the call stack (1 the innermost) stands: its
    // PC, and for a caller the frame its stack locals are in; none when there
    // is no such frame.
    std::optional<toolchain::StopPlace> placeOf(int frameId) const;
    // The machine's memories for C expressions; writes go through the run's history.
    m51dbg::MachineMemory memory() const;
    toolchain::StopPlace here() const { return {machine_->pc(), std::nullopt}; }
    // C: an expression's value over the stopped machine, in the function of `place`.
    toolchain::CResult evaluateC(const std::string& expression, const toolchain::StopPlace& place) const;
    bool isC() const { return program_.language == toolchain::Language::C; }
    // A variable of the Locals or Globals scope, or a child of a structured one.
    Json cVariable(const std::string& name, const toolchain::CValue& value);

    EventSink sink_;
    Json launchArguments_;
    toolchain::Program program_;
    toolchain::LineTable lineTable_;  // the program's lines of every file, for stepping
    std::unique_ptr<sim::Machine> machine_;
    std::unique_ptr<insight::History> history_;
    std::unique_ptr<insight::LineStepper> stepper_;  // the step request under way
    std::unique_ptr<board::VirtualBoard> board_;
    std::unique_ptr<OutputListener> listener_;
    std::unique_ptr<m51dbg::SerialPty> pty_;  // "serial": "pty"; else the serial port is the debug console
    m51dbg::SourceNames names_;
    Mode mode_ = Mode::Idle;
    bool stopOnEntry_ = false, configured_ = false, pauseRequested_ = false, breakAtFirst_ = false;

    std::map<int, std::vector<Breakpoint>> lineBreakpoints_;  // by source file index
    std::vector<Breakpoint> functionBreakpoints_, instructionBreakpoints_;
    insight::StopTable isBreakpoint_;
    // The last breakpoint requests (by file and kind), placed again on a restart's new build.
    std::map<std::string, std::pair<std::string, Json>> breakpointRequests_;
    int nextBreakpointId_ = 1;
    // The structured C values shown since the last stop (their children's references).
    std::vector<toolchain::CValue> structured_;
};

// A name in lower case (ASCII letters), for names the client writes in any case.
std::string Lower(std::string text);

} // namespace m51dap
