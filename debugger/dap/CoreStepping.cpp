// The adapter's running and stepping: free runs in slices up to a
// breakpoint, next, step in and step out by the source lines, and the way
// back through the run's history (step back, reverse continue, goto).
#include "debugger/dap/CoreDebuggee.h"

#include "insight/History.h"
#include "insight/LineBack.h"
#include "insight/LineStepper.h"
#include "debugger/SerialPty.h"

#include "sim/Machine.h"
#include "board/VirtualBoard.h"

#include <cstdio>

namespace m51dap {

namespace {

constexpr uint64_t kSliceCycles = 20000;  // about 20 ms of an 11.0592 MHz 8051, 1-2 ms of host time

} // namespace

Reply CoreDebuggee::resume(Mode mode)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    using Step = insight::LineStepper::Mode;
    if (mode != Mode::Run)
        stepper_->begin(mode == Mode::Next ? Step::Over : mode == Mode::StepIn ? Step::Into : Step::Out);
    breakAtFirst_ = false;
    mode_ = mode;
    return Reply::success(mode == Mode::Run ? Json{{"allThreadsContinued", true}} : Json::object());
}

void CoreDebuggee::runSlice()
{
    if (!running())
        return;
    if (pauseRequested_) {
        stop("pause");
        return;
    }
    // What the terminal typed, a little at a time: a flood waits in the pseudo-terminal.
    constexpr std::size_t kMaxWaiting = 1024;
    if (pty_ && machine_->serialPending() < kMaxWaiting)
        if (const std::string typed = pty_->take(kMaxWaiting - machine_->serialPending()); !typed.empty())
            history_->sendSerial(typed);
    if (mode_ != Mode::Run) {
        // By the rules of Zelvar's debugger: calls and interrupts run through when stepping over.
        std::vector<int> hits;
        const auto outcome = stepper_->advance(kSliceCycles, isBreakpoint_.bytes(), [this, &hits](uint16_t address) {
            hits.clear();
            return breakpointStops(address, hits);
        });
        using Outcome = insight::LineStepper::Outcome;
        switch (outcome) {
        case Outcome::Going:
            flushOutput();
            return;
        case Outcome::Done:
            stop("step");
            return;
        case Outcome::Breakpoint:
            stop("breakpoint", hits);
            return;
        case Outcome::PowerDown:
            end(false);
            return;
        }
    }
    const sim::Stop result = history_->run(kSliceCycles, isBreakpoint_, breakAtFirst_);
    breakAtFirst_ = true;
    if (result == sim::Stop::PowerDown) {
        end(false);
        return;
    }
    if (result == sim::Stop::Breakpoint) {
        std::vector<int> hits;
        if (breakpointStops(machine_->pc(), hits)) {
            stop("breakpoint", hits);
            return;
        }
        breakAtFirst_ = false;  // a condition that did not hold: run on past it
    }
    flushOutput();
}

Reply CoreDebuggee::stepBack()
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const auto start = insight::PreviousLineStart(*history_, *machine_, lineTable_, program_.map);
    if (!start || !history_->goTo(*start))
        return Reply::failure("there is no recorded step to go back to");
    stop("step");
    return Reply::success();
}

Reply CoreDebuggee::reverseContinue()
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    if (history_->position() <= history_->oldest())
        return Reply::failure("there is no recorded step to go back to");
    std::vector<uint16_t> addresses;
    for (unsigned a = 0; a < 0x10000; ++a)
        if (isBreakpoint_[static_cast<uint16_t>(a)])
            addresses.push_back(static_cast<uint16_t>(a));
    const bool found = history_->reverseContinue(addresses, {});
    if (!found)
        history_->goTo(history_->oldest());
    stop(found ? "breakpoint" : "step");
    return Reply::success();
}

std::string CoreDebuggee::gotoRefusal(uint16_t address) const
{
    if (program_.linesAt(address).empty()) {
        char text[48];
        std::snprintf(text, sizeof text, "no source line has code at %04XH", static_cast<unsigned>(address));
        return text;
    }
    // A jump within the function keeps its stack frame as it is; into
    // another one, its return would take a wrong address off the stack.
    const toolchain::Function* here = program_.functionAt(machine_->pc());
    const toolchain::Function* there = program_.functionAt(address);
    if (here == there)
        return {};
    return "the line is in " + (there ? there->name : std::string("code outside the functions"))
           + ", the program stands in " + (here ? here->name : std::string("code outside the functions"))
           + ": goto moves only within the current function";
}

Reply CoreDebuggee::gotoTargets(const Json& arguments)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const int file = fileIndex(arguments.value("source", Json::object()).value("path", std::string()));
    const int line = arguments.value("line", 0) - 1;
    if (file < 0)
        return Reply::failure("this file is not a source of the program");
    const auto ranges = program_.rangesOf(file, line);
    if (ranges.empty())
        return Reply::failure("line " + std::to_string(line + 1) + " has no code to go to");
    std::string refusal;
    for (const auto& [address, size] : ranges) {
        refusal = gotoRefusal(address);
        if (!refusal.empty())
            continue;
        char label[48];
        std::snprintf(label, sizeof label, "line %d (code %04XH)", line + 1, static_cast<unsigned>(address));
        char reference[16];
        std::snprintf(reference, sizeof reference, "code:0x%04X", static_cast<unsigned>(address));
        const Json target{{"id", address + 1}, {"label", label}, {"line", line + 1},
                          {"instructionPointerReference", reference}};
        return Reply::success({{"targets", Json::array({target})}});
    }
    return Reply::failure(refusal);
}

// The PC moves through the history: stepping back from here returns to
// where the program stood before the goto.
Reply CoreDebuggee::gotoTarget(const Json& arguments)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const long id = arguments.value("targetId", 0L);
    if (id < 1 || id > 0x10000)
        return Reply::failure("no goto target " + std::to_string(id));
    const auto address = static_cast<uint16_t>(id - 1);
    if (const std::string refusal = gotoRefusal(address); !refusal.empty())
        return Reply::failure(refusal);
    history_->setPc(address);
    stop("goto");
    return Reply::success();
}

} // namespace m51dap
