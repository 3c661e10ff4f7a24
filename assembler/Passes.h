#pragma once
// The passes over the parsed statements, one class: Passes.cpp lays the
// statements out (labels, location counters, segments, ORG, DS, data and
// names), Emit.cpp sizes and emits the instructions and records a module's
// fixups. Assembler.cpp runs the passes until the layout settles. Internal
// to the assembler library.

#include "assembler/Assembler.h"
#include "assembler/Context.h"
#include "assembler/Operators.h"

#include <cstdint>
#include <string>
#include <vector>

namespace m51asm {

inline constexpr std::uint32_t kCodeSpace = 0x10000;
inline constexpr int kMaxLayoutPasses = 200;

inline std::string ValueText(std::int32_t v)
{
    if (v < 0)
        return std::to_string(v);
    return Hex4(static_cast<std::uint32_t>(v));
}

inline bool SjmpReaches(std::uint32_t next, std::int32_t target)
{
    const std::int64_t d = static_cast<std::int64_t>(target) - next;
    return target >= 0 && target < 0x10000 && d >= -128 && d <= 127;
}

inline bool SamePage(std::uint32_t next, std::int32_t target)
{
    return target >= 0 && target < 0x10000 && (next & 0xF800u) == (static_cast<std::uint32_t>(target) & 0xF800u);
}

// A two-byte generic JMP/CALL at `address` reaches `target`.
inline bool ShortReaches(std::uint16_t form, std::uint32_t address, std::int32_t target)
{
    const std::uint32_t next = address + 2;
    return SamePage(next, target) || (form == kGenericJmp && SjmpReaches(next, target));
}

class Passes {
public:
    explicit Passes(Context& ctx) : m_ctx(ctx) {}

    // One pass over all statements; returns true when a size or a symbol changed.
    bool Run(AssembleResult* out);

private:
    const Operand& OperandOf(const Statement& st, std::uint32_t i) const
    {
        return m_ctx.operands[st.firstOperand + i];
    }

    bool Eval(const Statement& st, std::uint32_t i, std::int32_t& value)
    {
        return Evaluate(m_ctx, OperandOf(st, i).expr, static_cast<std::int32_t>(st.address), value);
    }

    void Error(std::string message) { m_ctx.Error(m_ctx.currentLine, std::move(message)); }

    void Define(std::int32_t id, std::int32_t value)
    {
        SymbolEntry& s = m_ctx.symbols[id];
        if (!s.redefinable && (!s.known || s.value != value))
            m_changed = true;
        s.value = value;
        s.known = true;
    }

    // The end of the current segment's address space.
    std::uint32_t Limit() const
    {
        return m_segment == Segment::Code || m_segment == Segment::XData ? kCodeSpace : 0x100;
    }

    // Moves the location counter over `size` bytes (or bits) of the
    // statement; false (reported) when they would pass the segment's end.
    bool Advance(Statement& st, std::uint32_t size);

    // Keeps the location counter of the segment being left.
    void LeaveSegment();

    void RsegSwitch(Statement& st);

    std::uint32_t Base() const { return m_rseg >= 0 ? m_ctx.rsegs[static_cast<std::size_t>(m_rseg)].base : 0; }

    void SegmentSwitch(Statement& st);

    void Org(Statement& st);

    void Using(Statement& st);

    void Ds(Statement& st);

    void Name(Statement& st);

    void Data(Statement& st);

    void Instruction(Statement& st);

    // In a module, a field whose value depends on where segments go: its
    // fixup is recorded and its bytes left to the linker.
    bool Fixup(const Statement& st, const Operand& op, FieldKind field, std::uint32_t at, std::uint32_t next);

    bool FieldFixup(const Statement& st, const Form& f, const FieldSpec& field);

    // Evaluates a value the linker decides (its bytes are placeholders):
    // only undefined names are reported, not the ranges.
    bool EvalQuiet(const Statement& st, std::uint32_t i, std::int32_t& value);

    bool EvalQuiet(ExprRef e, std::uint32_t here, std::int32_t& value);

    void EmitAddr16(std::uint8_t opcode, std::int32_t v, bool ok);

    std::vector<std::uint8_t>& m_bytes() { return m_ctx.bytes; }

    void Begin(Statement& st);

    void Put(std::uint8_t b) { m_ctx.bytes.push_back(b); }

    // Copies the statement's bytes into the image and the address map.
    void Finish(Statement& st);

    Context& m_ctx;
    AssembleResult* m_out = nullptr;
    std::vector<std::int32_t> m_owner;  // line that wrote each byte, once there is code
    bool m_changed = false;
    std::size_t m_first = 0;
    Segment m_segment = Segment::Code;
    std::uint32_t m_segmentPc[static_cast<int>(Segment::Count)] = {};
    std::int16_t m_rseg = -1;             // the relocatable segment the pass is in
    std::vector<std::uint32_t> m_rsegPc;  // their location counters
    bool m_fixups = false;                // the code pass of a module: fields become fixups
};

} // namespace m51asm
