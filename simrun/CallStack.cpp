#include "simrun/CallStack.h"

#include "compiler/Compiler.h"
#include "sim/Disassembler.h"

#include <algorithm>
#include <cctype>

namespace m51dbg {

namespace {

uint8_t CodeAt(const std::vector<uint8_t>& code, unsigned address) { return address < code.size() ? code[address] : 0xFF; }

// The program's instructions where a listing knows them: its source map, or
// the assembly of a C program's modules. Code none lists (SDCC's library, an
// image without debug information) is taken on trust.
class Instructions {
public:
    Instructions(const std::vector<uint8_t>& code, const SourceMap& map, const std::vector<toolchain::ModuleAssembly>& modules)
        : m_code(code), m_map(map), m_modules(modules)
    {
    }
    bool startsAt(unsigned address) const
    {
        if (address >= m_code.size())
            return false;
        const SourceMap* listing = listingOf(static_cast<uint16_t>(address));
        if (!listing)
            return m_map.empty();
        return listing->instructionAt(static_cast<uint16_t>(address))->address == address;
    }
    // The bytes the code from `entry` up to `at` pushes (PUSH less POP), read
    // straight through: how far above the frame's return address SP is. -1
    // when not known (no listing of the entry, or more POPs than PUSHes).
    int pushedBetween(uint16_t entry, uint16_t at) const
    {
        const SourceMap* listing = listingOf(entry);
        if (!listing || entry > at)
            return -1;
        int pushed = 0;
        for (const Instruction& instruction : listing->instructions()) {
            if (instruction.address < entry || instruction.address >= at)
                continue;
            const uint8_t op = CodeAt(m_code, instruction.address);
            pushed += op == 0xC0 ? 1 : op == 0xD0 ? -1 : 0;
        }
        return pushed >= 0 ? pushed : -1;
    }

private:
    const SourceMap* listingOf(uint16_t address) const
    {
        if (!m_map.empty())
            return m_map.instructionAt(address) ? &m_map : nullptr;
        for (const toolchain::ModuleAssembly& module : m_modules)
            if (module.map.instructionAt(address))
                return &module.map;
        return nullptr;
    }

    const std::vector<uint8_t>& m_code;
    const SourceMap& m_map;
    const std::vector<toolchain::ModuleAssembly>& m_modules;
};

struct Call {
    int target = -1;  // -1: no call ends there
    uint16_t address = 0;
};

// The LCALL or ACALL that ends right before `back`.
Call CallBefore(const Instructions& instructions, const std::vector<uint8_t>& code, unsigned back)
{
    if (back >= 3 && CodeAt(code, back - 3) == 0x12 && instructions.startsAt(back - 3))
        return {CodeAt(code, back - 2) << 8 | CodeAt(code, back - 1), static_cast<uint16_t>(back - 3)};
    const uint8_t op = CodeAt(code, back - 2);
    if (back >= 2 && (op & 0x1F) == 0x11 && instructions.startsAt(back - 2))
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

class Names {
public:
    explicit Names(std::vector<CodeName> names) : m_names(std::move(names))
    {
        std::sort(m_names.begin(), m_names.end(), [](const CodeName& a, const CodeName& b) { return a.address < b.address; });
    }
    // The procedure `address` is in: the nearest name at or before it, if its code reaches there.
    const CodeName* containing(uint16_t address) const
    {
        auto it = std::upper_bound(m_names.begin(), m_names.end(), address,
                                   [](uint16_t a, const CodeName& n) { return a < n.address; });
        if (it == m_names.begin())
            return nullptr;
        const CodeName* name = &*std::prev(it);
        return name->end && address >= name->end ? nullptr : name;
    }
    // Whether the names know where their code ends (a C program's functions).
    bool bounded() const
    {
        return std::any_of(m_names.begin(), m_names.end(), [](const CodeName& n) { return n.end != 0; });
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

std::vector<std::pair<int, uint8_t>> SavedRegisters(const std::vector<uint8_t>& code, const StackFrame& called)
{
    std::vector<std::pair<int, uint8_t>> saved;
    if (called.enteredBy != StackFrame::Entry::Call || called.returnSlot < 1)
        return saved;
    unsigned a = called.returnAddress;
    int dropped = 0;  // the parameters of a reentrant function, above the saved registers
    for (;;) {
        if (CodeAt(code, a) == 0x15 && CodeAt(code, a + 1) == 0x81) {  // DEC SP
            ++dropped;
            a += 2;
        } else if (CodeAt(code, a) == 0xE5 && CodeAt(code, a + 1) == 0x81 && CodeAt(code, a + 2) == 0x24
                   && CodeAt(code, a + 4) == 0xF5 && CodeAt(code, a + 5) == 0x81) {  // MOV A,SP / ADD A,#-n / MOV SP,A
            dropped += 256 - CodeAt(code, a + 3);
            a += 6;
        } else {
            break;
        }
    }
    int slot = called.returnSlot - 1 - dropped;
    for (; CodeAt(code, a) == 0xD0 && CodeAt(code, a + 1) < 0x20 && slot >= 0; a += 2, --slot)  // POP ARn
        saved.emplace_back(CodeAt(code, a + 1) & 7, static_cast<uint8_t>(slot));
    return saved;
}

unsigned StackBase(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map)
{
    auto setsStack = [&](unsigned a) {
        return CodeAt(code, a) == 0x75 && CodeAt(code, a + 1) == 0x81 && CodeAt(code, a + 2) <= machine.sp();
    };
    for (const Instruction& instruction : map.instructions())
        if (instruction.size == 3 && setsStack(instruction.address))
            return CodeAt(code, instruction.address + 2u) + 1u;
    if (!map.empty())
        return 8;
    unsigned a = HandlerEntry(code, 0);
    for (int i = 0; i < 8 && a < code.size(); ++i, a += sim::instructionLength(code[a]))
        if (setsStack(a))
            return CodeAt(code, a + 2) + 1u;
    return 8;
}

StackView ReadStack(const MachineState& machine, const std::vector<uint8_t>& code, const SourceMap& map,
                    const std::vector<CodeName>& procedures, bool timer2,
                    const std::vector<toolchain::ModuleAssembly>& modules)
{
    StackView view;
    view.base = StackBase(machine, code, map);
    const Names names(procedures);
    const bool bounded = names.bounded();
    const Instructions instructions(code, map, modules);
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
    // Whether the pair at (k-1, k) is the current frame's return address; if
    // so the frame is done. `mayReturnFromInterrupt`: k is where a handler's
    // own pushes put its return address, or those pushes are not known.
    auto frameAt = [&](unsigned k, bool mayReturnFromInterrupt) {
        const uint16_t back = static_cast<uint16_t>(machine.iram[k] << 8 | machine.iram[k - 1]);
        const int source = handlerSource(current.entry);
        StackFrame outer;
        const Call call = CallBefore(instructions, code, back);
        const bool sameProcedure = !bounded || names.containing(static_cast<uint16_t>(call.target)) == names.containing(current.at);
        if (source >= 0 && mayReturnFromInterrupt && instructions.startsAt(back)) {
            current.enteredBy = StackFrame::Entry::Interrupt;
            current.interruptSource = source;
            outer = Guessed(names, back);
        } else if (call.target >= 0 && call.target <= current.at && sameProcedure) {
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
        const int pushed = instructions.pushedBetween(current.entry, current.at);
        const unsigned expected = pushed >= 0 && unsigned(pushed) < k ? k - unsigned(pushed) : 0;
        if (expected > view.base && frameAt(expected, true)) {
            k = expected - 2;
            continue;
        }
        while (k > view.base && !frameAt(k, pushed < 0))
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

StackView ReadStack(const MachineState& machine, const toolchain::Program& program,
                    const std::vector<CodeName>& procedures, bool timer2)
{
    return ReadStack(machine, program.code, program.map, procedures, timer2, program.moduleAssemblies);
}

std::vector<std::string> ProcedureNames(const std::string& m51Source)
{
    return m51::CompileSource(m51::SplitSourceLines(m51Source)).ProcedureNames;
}

std::vector<CodeName> ProceduresOf(const toolchain::Program& program)
{
    std::vector<CodeName> procedures;
    for (const toolchain::Function& function : program.functions)
        procedures.push_back({function.name, function.start,
                              program.language == toolchain::Language::C ? function.end : 0u});
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
