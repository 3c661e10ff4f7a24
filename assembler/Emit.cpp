// The instructions in each pass: the form and size of each, the bytes of the
// code pass, and in a module the fixups of fields the linker fills in.
#include "assembler/Passes.h"

#include <algorithm>
#include <cstdio>

namespace m51asm {

void Passes::Instruction(Statement& st)
{
    if (st.form == kGenericJmp || st.form == kGenericCall) {
        if (m_ctx.modules && !st.longJump && ModuleRelative(m_ctx, OperandOf(st, 0).expr, st.rseg >= 0)) {
            // Where the target goes is the linker's choice: the long form reaches it.
            st.longJump = true;
            st.size = 3;
            m_changed = true;
        }
        std::int32_t target = 0;
        const bool ok = Eval(st, 0, target);
        m_ctx.unknownSeen = false;
        if (!m_out) {
            if (ok && st.size == 2 && !st.longJump && !ShortReaches(st.form, m_ctx.pc, target)) {
                st.size = 3;
                m_changed = true;
            }
            Advance(st, st.size);
            return;
        }
        Begin(st);
        const bool jmp = st.form == kGenericJmp;
        const std::uint32_t next = st.address + st.size;
        if (st.size == 3 && Fixup(st, OperandOf(st, 0), FieldKind::Word, 1, 0)) {
            Put(jmp ? 0x02 : 0x12);
            Put(0);
            Put(0);
        } else if (st.size == 3) {
            EmitAddr16(jmp ? 0x02 : 0x12, target, ok);
        } else if (!ok) {
            Put(jmp ? 0x01 : 0x11);  // keeps the layout; the error is reported
            Put(0);
        } else if (jmp && SjmpReaches(next, target)) {
            Put(0x80);
            Put(static_cast<std::uint8_t>(target - static_cast<std::int32_t>(next)));
        } else {
            Put(static_cast<std::uint8_t>(((target >> 3) & 0xE0) | (jmp ? 0x01 : 0x11)));
            Put(static_cast<std::uint8_t>(target));
        }
        Finish(st);
        return;
    }
    if (!m_out) {
        Advance(st, st.size);
        return;
    }
    const Form& f = Forms()[st.form];
    Begin(st);
    std::uint8_t opcode = f.opcode;
    for (std::uint32_t i = 0; i < st.operandCount; ++i) {
        const Operand& op = OperandOf(st, i);
        if (op.mode == Mode::Reg || op.mode == Mode::AtReg)
            opcode = static_cast<std::uint8_t>(opcode + op.reg);
    }
    Put(opcode);
    const std::uint32_t next = st.address + f.size;
    for (const FieldSpec& field : f.fields) {
        if (field.kind == Field::None)
            break;
        if (FieldFixup(st, f, field))
            continue;
        std::int32_t v = 0;
        const bool ok = Eval(st, field.operand, v);
        switch (field.kind) {
        case Field::Direct:
            if (ok && (v < 0 || v > 0xFF))
                Error("direct address " + ValueText(v) + " is out of range (0-0FFH)");
            Put(static_cast<std::uint8_t>(v));
            break;
        case Field::Bit:
            if (ok && (v < 0 || v > 0xFF))
                Error("bit address " + ValueText(v) + " is out of range (0-0FFH)");
            Put(static_cast<std::uint8_t>(v));
            break;
        case Field::Imm8:
            if (ok && (v < -256 || v > 0xFF))
                Error("value " + ValueText(v) + " does not fit in a byte");
            Put(static_cast<std::uint8_t>(v));
            break;
        case Field::Imm16:
            if (ok && (v < -65536 || v > 0xFFFF))
                Error("value " + ValueText(v) + " does not fit in 16 bits");
            Put(static_cast<std::uint8_t>(v >> 8));
            Put(static_cast<std::uint8_t>(v));
            break;
        case Field::Rel: {
            const std::int64_t d = static_cast<std::int64_t>(v) - next;
            if (ok && (v < 0 || v > 0xFFFF))
                Error("jump target " + ValueText(v) + " is out of range (0-0FFFFH)");
            else if (ok && (d < -128 || d > 127))
                Error("jump target " + ValueText(v) + " is out of range: " + std::to_string(d) +
                      " bytes away, " + std::string(MnemonicName(f.mnemonic)) + " reaches -128 to +127");
            Put(static_cast<std::uint8_t>(d));
            break;
        }
        case Field::Addr11: {
            const std::uint32_t after = st.address + 2;
            if (ok && !SamePage(after, v))
                Error("target " + ValueText(v) + " is outside the 2 KB page " + Hex4(after & 0xF800) + "-" +
                      Hex4((after & 0xF800) | 0x7FF) + " of this " + std::string(MnemonicName(f.mnemonic)) +
                      " (use " + (f.mnemonic == Mnemonic::Ajmp ? "LJMP or JMP)" : "LCALL or CALL)"));
            m_bytes()[m_first] = static_cast<std::uint8_t>(opcode | ((v >> 3) & 0xE0));
            Put(static_cast<std::uint8_t>(v));
            break;
        }
        case Field::Addr16:
            if (ok && (v < 0 || v > 0xFFFF))
                Error("address " + ValueText(v) + " is out of range (0-0FFFFH)");
            Put(static_cast<std::uint8_t>(v >> 8));
            Put(static_cast<std::uint8_t>(v));
            break;
        case Field::None: break;
        }
    }
    Finish(st);
}

bool Passes::Fixup(const Statement& st, const Operand& op, FieldKind field, std::uint32_t at, std::uint32_t next)
{
    if (!m_fixups || !ModuleRelative(m_ctx, op.expr, st.rseg >= 0))
        return false;
    std::int32_t v = 0;
    EvalQuiet(op.expr, st.address, v);  // reports undefined names only
    ObjectFixup f;
    f.segment = st.rseg;
    f.offset = st.address + at;
    f.field = field;
    f.next = next;
    f.line = m_ctx.MainLine(st.line);
    if (!ObjectSteps(m_ctx, op.expr, st, f.steps)) {
        Error("this expression is too deep for the object file");
        return true;
    }
    m_ctx.fixups.push_back(std::move(f));
    return true;
}

bool Passes::FieldFixup(const Statement& st, const Form& f, const FieldSpec& field)
{
    const auto at = static_cast<std::uint32_t>(m_ctx.bytes.size() - m_first);
    FieldKind kind = FieldKind::Byte;
    switch (field.kind) {
    case Field::Direct: kind = FieldKind::Data; break;
    case Field::Bit: kind = FieldKind::Bit; break;
    case Field::Imm16:
    case Field::Addr16: kind = FieldKind::Word; break;
    case Field::Rel: kind = FieldKind::Rel; break;
    case Field::Addr11: kind = FieldKind::Addr11; break;
    default: break;
    }
    const bool addr11 = kind == FieldKind::Addr11;
    if (!Fixup(st, OperandOf(st, field.operand), kind, addr11 ? at - 1 : at, st.address + f.size))
        return false;
    Put(0);
    if (kind == FieldKind::Word)
        Put(0);
    return true;
}

bool Passes::EvalQuiet(const Statement& st, std::uint32_t i, std::int32_t& value)
{
    return EvalQuiet(OperandOf(st, i).expr, st.address, value);
}

bool Passes::EvalQuiet(ExprRef e, std::uint32_t here, std::int32_t& value)
{
    const bool report = m_ctx.reportErrors;
    if (report) {
        for (std::uint32_t k = 0; k < e.count; ++k) {
            const ExprOp& op = m_ctx.exprOps[e.first + k];
            if (op.op == Op::Symbol && !m_ctx.symbols[op.value].known && m_ctx.symbols[op.value].line == 0)
                Error("undefined symbol " + std::string(m_ctx.symbols[op.value].name));
        }
    }
    m_ctx.reportErrors = false;
    const bool ok = Evaluate(m_ctx, e, static_cast<std::int32_t>(here), value);
    m_ctx.reportErrors = report;
    return ok;
}

void Passes::EmitAddr16(std::uint8_t opcode, std::int32_t v, bool ok)
{
    if (ok && (v < 0 || v > 0xFFFF))
        Error("address " + ValueText(v) + " is out of range (0-0FFFFH)");
    Put(opcode);
    Put(static_cast<std::uint8_t>(v >> 8));
    Put(static_cast<std::uint8_t>(v));
}

void Passes::Begin(Statement& st)
{
    m_first = m_ctx.bytes.size();
    st.firstByte = static_cast<std::uint32_t>(m_first);
}

void Passes::Finish(Statement& st)
{
    const auto n = static_cast<std::uint32_t>(m_ctx.bytes.size() - m_first);
    st.emitted = n;
    if (m_fixups && m_rseg >= 0) {
        // A module's relocatable code: kept at its offsets for the object.
        RelSegment& seg = m_ctx.rsegs[static_cast<std::size_t>(m_rseg)];
        const std::uint32_t fit = std::min(n, kCodeSpace - std::min(st.address, kCodeSpace));
        if (seg.bytes.size() < st.address + fit) {
            seg.bytes.resize(st.address + fit, 0xFF);
            seg.written.resize(st.address + fit, false);
        }
        std::fill_n(seg.written.begin() + static_cast<std::ptrdiff_t>(st.address), fit, true);
        std::copy_n(m_ctx.bytes.begin() + static_cast<std::ptrdiff_t>(m_first), fit,
                    seg.bytes.begin() + static_cast<std::ptrdiff_t>(st.address));
        Advance(st, n);
        return;
    }
    if (!Advance(st, n) && st.address >= kCodeSpace)
        return;
    const std::uint32_t fit = std::min(n, kCodeSpace - st.address);
    if (fit == 0)
        return;
    AssembleResult& r = *m_out;
    bool overlapReported = m_ctx.options.allowOverlap;
    for (std::uint32_t i = 0; i < fit; ++i) {
        const std::uint32_t a = st.address + i;
        std::uint64_t& word = m_ctx.writtenBits[a >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (a & 63);
        if (!overlapReported && (word & bit)) {
            Error("code at " + Hex4(a) + " overlaps code of " + m_ctx.Where(m_owner[a]));
            overlapReported = true;
        }
        word |= bit;
        r.image[a] = m_ctx.bytes[m_first + i];
        r.written[a] = true;
        if (!m_ctx.options.allowOverlap) {
            // Grown up to the highest byte written: a small program's
            // table stays small instead of costing the whole code space.
            if (m_owner.size() <= a)
                m_owner.resize(std::min<std::size_t>(kCodeSpace, std::max<std::size_t>(a + 1, m_owner.size() * 2)), 0);
            m_owner[a] = st.line;
        }
    }
    r.addressMap.push_back(
        {m_ctx.MainLine(st.line), static_cast<std::uint16_t>(st.address), static_cast<std::uint16_t>(fit)});
}

} // namespace m51asm
