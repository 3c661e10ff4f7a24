#include "simrun/CoreRun.h"

#include <algorithm>

namespace m51sim {

namespace {

struct Collector : sim::Listener {
    std::string sent;
    unsigned lost = 0;
    sim::Listener* pins = nullptr;
    sim::Machine* stopOnSent = nullptr;  // a script looks at every byte the program sends
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        if (pins)
            pins->pinsChanged(cycle, port, levels);
    }
    void serialSent(uint64_t, uint8_t byte) override
    {
        sent += static_cast<char>(byte);
        if (stopOnSent)
            stopOnSent->requestStop();  // the run returns before the next instruction
    }
    void serialLost(uint64_t, uint8_t) override { ++lost; }
    bool followsPins() const override { return pins != nullptr; }
};

void Send(sim::Machine& machine, const std::string& bytes)
{
    if (!bytes.empty())
        machine.sendSerial(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

// Without a step function the machine goes through its run loop: the steps
// left, the end of a script's wait and the address to stop at are the run's
// limits, and a byte sent stops it for the script to look at, so that every
// limit is met at the same instruction as stepping one at a time meets it.
CoreRunResult RunOnCore(sim::Machine& machine, const CoreRunSettings& settings)
{
    CoreRunResult result;
    Collector collector;
    collector.pins = settings.pins;
    machine.setListener(&collector);
    Send(machine, settings.serialIn);
    ScriptRunner script(settings.script);
    const bool scripted = !settings.script.empty();
    const bool running = !settings.step;
    if (running && scripted)
        collector.stopOnSent = &machine;
    if (running && settings.untilAddress)
        machine.setCodeBreakpoint(*settings.untilAddress, true);
    size_t seen = std::string::npos;
    const ScriptCommand* waiting = nullptr;  // the wait under way, ending at waitEnd
    uint64_t waitEnd = 0;
    for (;;) {
        if (scripted && collector.sent.size() != seen) {
            seen = collector.sent.size();
            Send(machine, script.poll(machine.cycles(), collector.sent, machine.serialPending()));
        } else if (scripted && (script.feeding() || (script.current() && script.current()->kind == ScriptCommand::Kind::Wait))) {
            Send(machine, script.poll(machine.cycles(), collector.sent, machine.serialPending()));
        }
        const ScriptCommand* current = scripted ? script.current() : nullptr;
        if (current && current->kind == ScriptCommand::Kind::Wait && current != waiting) {
            waiting = current;  // poll() started it now
            waitEnd = machine.cycles() + current->cycles;
        }
        if (scripted && script.done() && !settings.untilAddress) {
            result.end = CoreRunResult::End::ScriptDone;
            break;
        }
        if (settings.untilAddress && machine.pc() == *settings.untilAddress) {
            result.end = CoreRunResult::End::Until;
            break;
        }
        if (result.instructions >= settings.steps) {
            result.end = CoreRunResult::End::Steps;
            const ScriptCommand* expecting = script.current();
            if (expecting && expecting->kind == ScriptCommand::Kind::Expect) {
                result.end = CoreRunResult::End::ExpectNotMet;
                result.waitingFor = expecting->bytes;
                result.waitingLine = expecting->line;
            }
            break;
        }
        if (!running) {
            // An interrupt entry (as its LCALL) and an idle cycle count as a step too.
            if (settings.step(machine) == 0) {
                result.end = CoreRunResult::End::PowerDown;
                break;
            }
            ++result.instructions;
            continue;
        }
        // Every step takes a machine cycle at least: a budget of the steps
        // left never runs past them.
        uint64_t budget = settings.steps - result.instructions;
        if (current && current == waiting)
            budget = std::min(budget, waitEnd > machine.cycles() ? waitEnd - machine.cycles() : 1);
        if (script.feeding())
            budget = std::min(budget, ScriptRunner::kFeedCycles);
        const uint64_t before = machine.steps();
        const sim::Stop stop = machine.run(budget);
        result.instructions += machine.steps() - before;
        if (stop == sim::Stop::PowerDown) {
            result.end = CoreRunResult::End::PowerDown;
            break;
        }
    }
    if (running && settings.untilAddress)
        machine.setCodeBreakpoint(*settings.untilAddress, false);
    machine.setListener(nullptr);
    result.serialOut = std::move(collector.sent);
    result.bytesLost = collector.lost;
    return result;
}

m51dbg::MachineState CaptureState(const sim::Machine& machine)
{
    m51dbg::MachineState state;
    for (unsigned i = 0; i < 256; ++i)
        state.iram[i] = machine.read(sim::Space::Iram, i);
    for (unsigned i = 0; i < 128; ++i)
        state.sfr[i] = machine.read(sim::Space::Sfr, 0x80 + i);
    state.pc = machine.pc();
    state.ticks = machine.cycles() * 12;
    return state;
}

} // namespace m51sim
