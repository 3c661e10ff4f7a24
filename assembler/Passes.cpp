// The layout of the statements in each pass: labels, the location counters
// of the segments, ORG, DS, USING, data and names.
#include "assembler/Passes.h"

#include <algorithm>
#include <cstdio>

namespace m51asm {

bool Passes::Run(AssembleResult* out)
{
    m_out = out;
    m_ctx.reportErrors = out != nullptr;
    m_ctx.pc = 0;
    m_ctx.bank = 0;
    m_changed = false;
    m_segment = Segment::Code;
    for (std::uint32_t& pc : m_segmentPc)
        pc = 0;
    m_rseg = -1;
    m_fixups = out && m_ctx.modules && !m_ctx.placed;
    m_rsegPc.resize(m_ctx.rsegs.size());
    for (std::size_t i = 0; i < m_ctx.rsegs.size(); ++i) {
        m_rsegPc[i] = m_ctx.rsegs[i].base;
        m_ctx.rsegs[i].size = 0;
    }
    for (Statement& st : m_ctx.statements) {
        m_ctx.currentLine = st.line;
        if (st.label >= 0)
            Define(st.label, static_cast<std::int32_t>(m_ctx.pc));
        st.address = m_ctx.pc;
        if (st.failed)
            continue;
        switch (st.kind) {
        case Kind::Label:
        case Kind::End:
            break;
        case Kind::Instruction:
            Instruction(st);
            break;
        case Kind::Org: Org(st); break;
        case Kind::Segment: SegmentSwitch(st); break;
        case Kind::Rseg: RsegSwitch(st); break;
        case Kind::Dbit: Ds(st); break;
        case Kind::Using: Using(st); break;
        case Kind::Ds: Ds(st); break;
        case Kind::Db:
        case Kind::Dw: Data(st); break;
        default: Name(st); break;
        }
    }
    return m_changed;
}

bool Passes::Advance(Statement& st, std::uint32_t size)
{
    const std::uint32_t start = m_ctx.pc;
    m_ctx.pc = start + size;
    if (m_rseg >= 0) {
        RelSegment& seg = m_ctx.rsegs[static_cast<std::size_t>(m_rseg)];
        seg.size = std::max(seg.size, std::min(m_ctx.pc, Limit()) - std::min(seg.base, Limit()));
    }
    if (m_ctx.pc <= Limit())
        return true;
    if (m_out)
        Error("address past " + Hex4(Limit() - 1) + (m_segment == Segment::Code ? "" : " in this segment") +
              " (this line ends at " + Hex4(m_ctx.pc - 1) + ")");
    m_ctx.pc = Limit();
    (void)st;
    return false;
}

void Passes::LeaveSegment()
{
    if (m_rseg >= 0)
        m_rsegPc[static_cast<std::size_t>(m_rseg)] = m_ctx.pc;
    else
        m_segmentPc[static_cast<int>(m_segment)] = m_ctx.pc;
}

void Passes::RsegSwitch(Statement& st)
{
    LeaveSegment();
    m_rseg = static_cast<std::int16_t>(st.form);
    m_segment = m_ctx.rsegs[st.form].type;
    m_ctx.pc = m_rsegPc[st.form];
}

void Passes::SegmentSwitch(Statement& st)
{
    LeaveSegment();
    m_rseg = -1;
    m_segment = static_cast<Segment>(st.form);
    m_ctx.pc = m_segmentPc[st.form];
    if (st.operandCount == 0)
        return;
    std::int32_t v = 0;
    if (!Eval(st, 0, v)) {
        if (m_out && m_ctx.unknownSeen)
            Error("AT needs a value defined before it");
        m_ctx.unknownSeen = false;
        return;
    }
    if (v < 0 || static_cast<std::uint32_t>(v) >= Limit()) {
        if (m_out)
            Error("AT address " + ValueText(v) + " is out of range (0-" + Hex4(Limit() - 1) + ")");
        return;
    }
    m_ctx.pc = static_cast<std::uint32_t>(v);
}

void Passes::Org(Statement& st)
{
    std::int32_t v = 0;
    if (!Eval(st, 0, v)) {
        if (m_out && m_ctx.unknownSeen)
            Error("ORG needs a value defined before it");
        m_ctx.unknownSeen = false;
        return;
    }
    if (v < 0 || static_cast<std::uint32_t>(v) >= Limit()) {
        if (m_out)
            Error("ORG address " + ValueText(v) + " is out of range (0-" + Hex4(Limit() - 1) + ")");
        return;
    }
    m_ctx.pc = Base() + static_cast<std::uint32_t>(v);  // in a relocatable segment: an offset in it
}

void Passes::Using(Statement& st)
{
    std::int32_t v = 0;
    if (!Eval(st, 0, v))
        return;
    if (v < 0 || v > 3) {
        if (m_out)
            Error("USING takes a register bank 0 to 3");
        return;
    }
    m_ctx.bank = v;
    m_ctx.banks = static_cast<std::uint8_t>(m_ctx.banks | (1u << v));
}

void Passes::Ds(Statement& st)
{
    std::int32_t v = 0;
    if (!Eval(st, 0, v)) {
        m_ctx.unknownSeen = false;
        return;
    }
    if (v < 0 || v > 0xFFFF) {
        if (m_out)
            Error(std::string(st.kind == Kind::Dbit ? "DBIT" : "DS") + " size " + ValueText(v) +
                  " is out of range (0-0FFFFH)");
        return;
    }
    if (st.size != static_cast<std::uint32_t>(v))
        m_changed = true;
    st.size = static_cast<std::uint32_t>(v);
    if (m_fixups && m_rseg < 0 && m_segment != Segment::Code && v > 0) {
        // Absolute data of a module: room the linker keeps free.
        ObjectSegment piece;
        piece.type = static_cast<SegmentType>(m_segment);
        piece.absolute = true;
        piece.address = m_ctx.pc;
        piece.size = std::min(st.size, Limit() - std::min(m_ctx.pc, Limit()));
        piece.line = m_ctx.MainLine(st.line);
        if (piece.size)
            m_ctx.absoluteData.push_back(piece);
    }
    Advance(st, st.size);
}

void Passes::Name(Statement& st)
{
    if (st.name < 0)
        return;
    std::int32_t v = 0;
    const ExprRef expr = OperandOf(st, 0).expr;
    const bool relative = m_ctx.modules && ModuleRelative(m_ctx, expr, st.rseg >= 0);
    const bool ok = relative && !m_ctx.placed ? EvalQuiet(st, 0, v) : Eval(st, 0, v);
    m_ctx.unknownSeen = false;
    SymbolEntry& s = m_ctx.symbols[st.name];
    if (relative) {
        // Its value is the linker's: other modules' fields using it get
        // its expression.
        s.derived = true;
        s.definition = expr;
    }
    if (!ok) {
        if (!s.redefinable && s.known)
            m_changed = true;
        s.known = false;
        return;
    }
    std::int32_t limit = 0xFFFF;
    const char* what = nullptr;
    switch (st.kind) {
    case Kind::Bit: limit = 0xFF; what = "bit address"; break;
    case Kind::Data:
    case Kind::IData: limit = 0xFF; what = "data address"; break;
    case Kind::XData:
    case Kind::Code: what = "address"; break;
    default: break;
    }
    if (what && (v < 0 || v > limit) && !(relative && !m_ctx.placed)) {
        if (m_out)
            Error(std::string(what) + " " + ValueText(v) + " is out of range (0-" + Hex4(static_cast<std::uint32_t>(limit)) + ")");
        v &= limit;
    }
    if (m_out && st.kind == Kind::Equ) {
        // "PORT EQU P1" names what P1 names.
        const Operand& op = OperandOf(st, 0);
        const ExprOp& e = m_ctx.exprOps[op.expr.first];
        if (op.expr.count == 1 && e.op == Op::Symbol && e.value != st.name)
            s.kind = m_ctx.symbols[e.value].kind == SymbolKind::Register ? SymbolKind::Number
                                                                         : m_ctx.symbols[e.value].kind;
    }
    Define(st.name, v);
}

void Passes::Data(Statement& st)
{
    if (!m_out) {
        Advance(st, st.size);
        return;
    }
    Begin(st);
    const std::uint32_t count = st.operandCount;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Operand& op = OperandOf(st, i);
        if (op.isString) {
            const std::string_view text = m_ctx.strings[op.expr.first];
            const char quote = text.data()[-1];
            for (std::size_t k = 0; k < text.size(); ++k) {
                if (text[k] == quote)
                    ++k;
                Put(static_cast<std::uint8_t>(text[k]));
            }
            continue;
        }
        std::int32_t v = 0;
        const bool db = st.kind == Kind::Db;
        const auto at = static_cast<std::uint32_t>(m_ctx.bytes.size() - m_first);
        if (Fixup(st, op, db ? FieldKind::Byte : FieldKind::Word, at, 0)) {
            Put(0);
            if (!db)
                Put(0);
            continue;
        }
        Eval(st, i, v);
        if (st.kind == Kind::Db) {
            if (v < -256 || v > 255)
                Error("value " + ValueText(v) + " does not fit in a byte");
            Put(static_cast<std::uint8_t>(v));
        } else {
            if (v < -65536 || v > 0xFFFF)
                Error("value " + ValueText(v) + " does not fit in 16 bits");
            Put(static_cast<std::uint8_t>(v >> 8));
            Put(static_cast<std::uint8_t>(v));
        }
    }
    Finish(st);
}

} // namespace m51asm
