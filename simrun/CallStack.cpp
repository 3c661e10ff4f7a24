#include "CallStack.h"

#include "Compiler.h"

#include <algorithm>
#include <cctype>

namespace m51dbg {

namespace {

uint8_t CodeAt(const std::vector<uint8_t>& code, unsigned address) { return address < code.size() ? code[address] : 0xFF; }

bool IsInstructionStart(const SourceMap& map, const std::vector<uint8_t>& code, unsigned address)
{
    if (address >= code.size())
        return false;
    if (map.empty())
        return true;
    const Instruction* instruction = map.instructionAt(static_cast<uint16_t>(address));
    return instruction && instruction->address == address;
}

struct Call {
    int target = -1;  // -1: no call ends there
    uint16_t address = 0;
};

// The LCALL or ACALL that ends right before `back`.
Call CallBefore(const SourceMap& map, const std::vector<uint8_t>& code, unsigned back)
{
    if (back >= 3 && CodeAt(code, back - 3) == 0x12 && IsInstructionStart(map, code, back - 3))
        return {CodeAt(code, back - 2) << 8 | CodeAt(code, back - 1), static_cast<uint16_t>(back - 3)};
    const uint8_t op = CodeAt(code, back - 2);
    if (back >= 2 && (op & 0x1F) == 0x11 && IsInstructionStart(map, code, back - 2))
        return {static_cast<int>((back & 0xF800) | (static_cast<unsigned>(op & 0xE0) << 3) | CodeAt(code, back - 1)),
                static_cast<uint16_t>(back - 2)};
    return {};
}

// The handler a vector leads to: the target of its LJMP, AJMP or SJMP, or the vector itself.
uint16_t HandlerEntry(const std::vector<uint8_t>& code, uint16_t vector)
{
    const uint8_t op = CodeAt(code, vector);
    if (op == 0x80)
        return static_cast<uint16_t>(vector + 2 + static_cast<int8_t>(CodeAt(code, vector + 1u)));
    if (op == 0x02)
        return static_cast<uint16_t>(CodeAt(code, vector + 1u) << 8 | CodeAt(code, vector + 2u));
    if ((op & 0x1F) == 0x01)
        return static_cast<uint16_t>(((vector + 2) & 0xF800) | (static_cast<unsigned>(op & 0xE0) << 3) | CodeAt(code, vector + 1u));
    return vector;
}

// The bytes the code from `entry` up to `at` pushes (PUSH less POP), read
// straight through: how far above the frame's return address SP is. -1 when
// not known (no map, or more POPs than PUSHes).
int PushedBetween(const std::vector<uint8_t>& code, const SourceMap& map, uint16_t entry, uint16_t at)
{
    if (map.empty() || entry > at)
        return -1;
    int pushed = 0;
    for (const Instruction& instruction : map.instructions()) {
        if (instruction.address < entry || instruction.address >= at)
            continue;
        const uint8_t op = CodeAt(code, instruction.address);
        pushed += op == 0xC0 ? 1 : op == 0xD0 ? -1 : 0;
    }
    return pushed >= 0 ? pushed : -1;
}

class Names {
public:
    explicit Names(std::vector<CodeName> names) : m_names(std::move(names))
    {
        std::sort(m_names.begin(), m_names.end(), [](const CodeName& a, const CodeName& b) { return a.address < b.address; });
    }
    // The procedure `address` is in: the nearest name at or before it.
    const CodeName* containing(uint16_t address) const
    {
        auto it = std::upper_bound(m_names.begin(), m_names.end(), address,
                                   [](uint16_t a, const CodeName& n) { return a < n.address; });
        return it == m_names.begin() ? nullptr : &*std::prev(it);
    }
    const CodeName* at(uint16_t address) const
    {
        const CodeName* name = containing(address);
        return name && name->address == address ? name : nullptr;
    }

private:
    std::vector<CodeName> m_names;
};

// A frame whose procedure is only known by the nearest label before its position.
StackFrame Guessed(const Names& names, uint16_t at)
{
    StackFrame frame;
    frame.at = at;
    if (const CodeName* name = names.containing(at)) {
        frame.procedure = name->name;
        frame.entry = name->address;
    }
    return frame;
}

void Name(StackFrame& frame, const Names& names, uint16_t entry)
{
    frame.entry = entry;
    const CodeName* name = names.at(entry);
    if (!name)
        name = names.containing(entry);
    frame.procedure = name ? name->name : std::string();
}

} // namespace

unsigned StackBase(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map)
{
    for (const Instruction& instruction : map.instructions()) {
        const unsigned a = instruction.address;
        if (instruction.size == 3 && CodeAt(code, a) == 0x75 && CodeAt(code, a + 1) == 0x81 && CodeAt(code, a + 2) <= machine.sp())
            return CodeAt(code, a + 2) + 1u;
    }
    return 8;
}

StackView ReadStack(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map,
                    const std::vector<CodeName>& procedures, bool timer2)
{
    StackView view;
    view.base = StackBase(machine, code, map);
    const Names names(procedures);
    // The handler entries of the chip's interrupt sources.
    const int sources = timer2 ? 6 : 5;
    auto handlerSource = [&](uint16_t entry) {
        for (int s = 0; s < sources; ++s)
            if (entry == InterruptVector(s) || entry == HandlerEntry(code, InterruptVector(s)))
                return s;
        return -1;
    };
    StackFrame current = Guessed(names, machine.pc);
    for (int s = 0; s < sources; ++s)  // the PC on a vector: the handler's first instruction
        if (machine.pc == InterruptVector(s))
            Name(current, names, machine.pc);
    // Whether the pair at (k-1, k) is the current frame's return address; if so the frame is done.
    auto frameAt = [&](unsigned k) {
        const uint16_t back = static_cast<uint16_t>(machine.iram[k] << 8 | machine.iram[k - 1]);
        const int source = handlerSource(current.entry);
        StackFrame outer;
        if (source >= 0 && IsInstructionStart(map, code, back)) {
            current.enteredBy = StackFrame::Entry::Interrupt;
            current.interruptSource = source;
            outer = Guessed(names, back);
        } else if (const Call call = CallBefore(map, code, back); call.target >= 0 && call.target <= current.at) {
            // The call's target is where the frame's procedure really starts.
            Name(current, names, static_cast<uint16_t>(call.target));
            current.enteredBy = StackFrame::Entry::Call;
            outer = Guessed(names, call.address);
        } else {
            return false;
        }
        current.returnSlot = static_cast<int>(k - 1);
        current.returnAddress = back;
        view.frames.push_back(current);
        current = outer;
        return true;
    };
    unsigned k = machine.sp();
    while (k > view.base && k < 256) {
        // First where the frame's own PUSHes and POPs put its return address, then below it byte by byte.
        const int pushed = PushedBetween(code, map, current.entry, current.at);
        const unsigned expected = pushed >= 0 && unsigned(pushed) < k ? k - unsigned(pushed) : 0;
        if (expected > view.base && frameAt(expected)) {
            k = expected - 2;
            continue;
        }
        while (k > view.base && !frameAt(k))
            --k;
        if (k > view.base)
            k -= 2;
    }
    view.frames.push_back(current);
    for (StackFrame& frame : view.frames) {
        frame.sourceLine = map.sourceLineAt(frame.at).value_or(-1);
        frame.asmLine = map.asmLineAt(frame.at).value_or(-1);
    }
    return view;
}

std::vector<std::string> ProcedureNames(const std::string& m51Source)
{
    return m51::CompileSource(m51::SplitSourceLines(m51Source)).ProcedureNames;
}

std::vector<CodeName> ProceduresOf(const toolchain::Program& program)
{
    std::vector<CodeName> procedures;
    for (const toolchain::Function& function : program.functions)
        procedures.push_back({function.name, function.start});
    return procedures;
}

std::vector<InterruptState> InterruptStates(const MachineState& machine, const StackView& stack, bool timer2)
{
    struct Source {
        const char* name;
        const char* enable;
        unsigned flagSfr;
        uint8_t flagMask;
    };
    static constexpr Source Sources[] = {
        {"External 0", "EX0", 0x88, 0x02}, {"Timer 0", "ET0", 0x88, 0x20}, {"External 1", "EX1", 0x88, 0x08},
        {"Timer 1", "ET1", 0x88, 0x80},    {"Serial port", "ES", 0x98, 0x03}, {"Timer 2", "ET2", 0xC8, 0xC0},
    };
    const uint8_t ie = machine.sfrAt(0xA8), ip = machine.sfrAt(0xB8);
    std::vector<InterruptState> states;
    for (int s = 0; s < (timer2 ? 6 : 5); ++s) {
        InterruptState state{Sources[s].name, Sources[s].enable};
        state.enabled = (ie & 0x80) && (ie & (1u << s));
        state.pending = machine.sfrAt(Sources[s].flagSfr) & Sources[s].flagMask;
        state.priority = (ip >> s) & 1;
        for (const StackFrame& frame : stack.frames)
            state.inService = state.inService || (frame.enteredBy == StackFrame::Entry::Interrupt && frame.interruptSource == s);
        states.push_back(state);
    }
    return states;
}

} // namespace m51dbg
