#include "CoreRun.h"

namespace m51sim {

namespace {

struct Collector : sim::Listener {
    std::string sent;
    unsigned lost = 0;
    sim::Listener* pins = nullptr;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        if (pins)
            pins->pinsChanged(cycle, port, levels);
    }
    void serialSent(uint64_t, uint8_t byte) override { sent += static_cast<char>(byte); }
    void serialLost(uint64_t, uint8_t) override { ++lost; }
};

void Send(sim::Machine& machine, const std::string& bytes)
{
    if (!bytes.empty())
        machine.sendSerial(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

CoreRunResult RunOnCore(sim::Machine& machine, const CoreRunSettings& settings)
{
    CoreRunResult result;
    Collector collector;
    collector.pins = settings.pins;
    machine.setListener(&collector);
    Send(machine, settings.serialIn);
    ScriptRunner script(settings.script);
    const bool scripted = !settings.script.empty();
    size_t seen = std::string::npos;
    for (;;) {
        if (scripted && collector.sent.size() != seen) {
            seen = collector.sent.size();
            Send(machine, script.poll(machine.cycles(), collector.sent));
        } else if (scripted && script.current() && script.current()->kind == ScriptCommand::Kind::Wait) {
            Send(machine, script.poll(machine.cycles(), collector.sent));
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
            const ScriptCommand* waiting = script.current();
            if (waiting && waiting->kind == ScriptCommand::Kind::Expect) {
                result.end = CoreRunResult::End::ExpectNotMet;
                result.waitingFor = waiting->bytes;
                result.waitingLine = waiting->line;
            }
            break;
        }
        // An interrupt entry (as its LCALL) and an idle cycle count as a step too.
        if ((settings.step ? settings.step(machine) : machine.step()) == 0) {
            result.end = CoreRunResult::End::PowerDown;
            break;
        }
        ++result.instructions;
    }
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
