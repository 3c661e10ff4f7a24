// The passes over the parsed statements. Layout passes give every label its
// address, each segment counting on its own location counter; the generic JMP
// and CALL to a target defined above (or any, with shortestJumps) start in
// their two-byte form and grow to three bytes only when the target is out of
// reach, so the passes end when no size and no symbol changes any more. The
// code pass then emits the bytes and reports every error on its line.
#include "Context.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace m51asm {

namespace {

constexpr std::uint32_t kCodeSpace = 0x10000;
constexpr int kMaxLayoutPasses = 200;

std::string ValueText(std::int32_t v)
{
    if (v < 0)
        return std::to_string(v);
    return Hex4(static_cast<std::uint32_t>(v));
}

bool SjmpReaches(std::uint32_t next, std::int32_t target)
{
    const std::int64_t d = static_cast<std::int64_t>(target) - next;
    return target >= 0 && target < 0x10000 && d >= -128 && d <= 127;
}

bool SamePage(std::uint32_t next, std::int32_t target)
{
    return target >= 0 && target < 0x10000 && (next & 0xF800u) == (static_cast<std::uint32_t>(target) & 0xF800u);
}

// A two-byte generic JMP/CALL at `address` reaches `target`.
bool ShortReaches(std::uint16_t form, std::uint32_t address, std::int32_t target)
{
    const std::uint32_t next = address + 2;
    return SamePage(next, target) || (form == kGenericJmp && SjmpReaches(next, target));
}

class Passes {
public:
    explicit Passes(Context& ctx) : m_ctx(ctx) {}

    // One pass over all statements; returns true when a size or a symbol changed.
    bool Run(AssembleResult* out)
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
    bool Advance(Statement& st, std::uint32_t size)
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

    // Keeps the location counter of the segment being left.
    void LeaveSegment()
    {
        if (m_rseg >= 0)
            m_rsegPc[static_cast<std::size_t>(m_rseg)] = m_ctx.pc;
        else
            m_segmentPc[static_cast<int>(m_segment)] = m_ctx.pc;
    }

    void RsegSwitch(Statement& st)
    {
        LeaveSegment();
        m_rseg = static_cast<std::int16_t>(st.form);
        m_segment = m_ctx.rsegs[st.form].type;
        m_ctx.pc = m_rsegPc[st.form];
    }

    std::uint32_t Base() const { return m_rseg >= 0 ? m_ctx.rsegs[static_cast<std::size_t>(m_rseg)].base : 0; }

    void SegmentSwitch(Statement& st)
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

    void Org(Statement& st)
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

    void Using(Statement& st)
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

    void Ds(Statement& st)
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

    void Name(Statement& st)
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

    void Data(Statement& st)
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

    void Instruction(Statement& st)
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

    // In a module, a field whose value depends on where segments go: its
    // fixup is recorded and its bytes left to the linker.
    bool Fixup(const Statement& st, const Operand& op, FieldKind field, std::uint32_t at, std::uint32_t next)
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

    bool FieldFixup(const Statement& st, const Form& f, const FieldSpec& field)
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

    // Evaluates a value the linker decides (its bytes are placeholders):
    // only undefined names are reported, not the ranges.
    bool EvalQuiet(const Statement& st, std::uint32_t i, std::int32_t& value)
    {
        return EvalQuiet(OperandOf(st, i).expr, st.address, value);
    }

    bool EvalQuiet(ExprRef e, std::uint32_t here, std::int32_t& value)
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

    void EmitAddr16(std::uint8_t opcode, std::int32_t v, bool ok)
    {
        if (ok && (v < 0 || v > 0xFFFF))
            Error("address " + ValueText(v) + " is out of range (0-0FFFFH)");
        Put(opcode);
        Put(static_cast<std::uint8_t>(v >> 8));
        Put(static_cast<std::uint8_t>(v));
    }

    std::vector<std::uint8_t>& m_bytes() { return m_ctx.bytes; }

    void Begin(Statement& st)
    {
        m_first = m_ctx.bytes.size();
        st.firstByte = static_cast<std::uint32_t>(m_first);
    }

    void Put(std::uint8_t b) { m_ctx.bytes.push_back(b); }

    // Copies the statement's bytes into the image and the address map.
    void Finish(Statement& st)
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
                if (m_owner.empty())
                    m_owner.assign(kCodeSpace, 0);
                m_owner[a] = st.line;
            }
        }
        r.addressMap.push_back(
            {m_ctx.MainLine(st.line), static_cast<std::uint16_t>(st.address), static_cast<std::uint16_t>(fit)});
    }

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

bool NameLess(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

} // namespace

std::vector<std::uint8_t> AssembleResult::Binary() const
{
    if (empty)
        return {};
    return std::vector<std::uint8_t>(image.begin() + lowest, image.begin() + highest + 1);
}

std::vector<std::string_view> SplitLines(std::string_view source)
{
    return m51::SplitLines(source);
}

AssembleResult Assemble(std::string_view source, const AssembleOptions& options)
{
    Context ctx(source, options);
    ctx.statements.reserve(source.size() / 24 + 16);
    ctx.operands.reserve(source.size() / 16 + 16);
    ctx.exprOps.reserve(source.size() / 16 + 16);
    ReadSource(ctx);


    Passes passes(ctx);
    AssembleResult r;
    r.image.assign(kCodeSpace, 0xFF);
    r.written.assign(kCodeSpace, false);
    bool settled = false;
    for (int i = 0; i < kMaxLayoutPasses && !settled; ++i)
        settled = !passes.Run(nullptr);
    if (!settled)
        ctx.Error(1, "the layout does not settle: ORG, DS or EQU values depend on addresses that they move");
    ctx.bytes.reserve(ctx.pc + 64);
    passes.Run(&r);
    if (ctx.modules && !ctx.placed)
        MakeObject(ctx, r);
    if (ctx.errorsAtStop)
        ctx.errors.erase(ctx.errors.begin() + static_cast<std::ptrdiff_t>(*ctx.errorsAtStop), ctx.errors.end());

    // In reading order; `line` holds the row until the errors are handed out.
    std::stable_sort(ctx.errors.begin(), ctx.errors.end(),
                     [](const AsmError& a, const AsmError& b) { return a.line < b.line; });
    for (std::uint32_t w = 0; w < ctx.writtenBits.size(); ++w) {
        const std::uint64_t word = ctx.writtenBits[w];
        if (!word)
            continue;
        if (r.empty)
            r.lowest = static_cast<std::uint16_t>(w * 64 + static_cast<std::uint32_t>(std::countr_zero(word)));
        r.highest = static_cast<std::uint16_t>(w * 64 + 63 - static_cast<std::uint32_t>(std::countl_zero(word)));
        r.empty = false;
    }
    std::size_t defined = 0;
    for (std::size_t id = 0; id < ctx.symbols.size(); ++id)
        defined += ctx.symbols[static_cast<std::int32_t>(id)].line > 0 && !ctx.symbols[static_cast<std::int32_t>(id)].predefined;
    r.symbols.reserve(defined);
    for (std::size_t id = 0; id < ctx.symbols.size(); ++id) {
        const SymbolEntry& s = ctx.symbols[static_cast<std::int32_t>(id)];
        if (s.line <= 0 || s.predefined || s.external)
            continue;
        r.symbols.push_back({std::string(s.name), s.kind, s.value, ctx.FileLine(s.line), s.redefinable});
    }
    std::sort(r.symbols.begin(), r.symbols.end(), [](const Symbol& a, const Symbol& b) { return NameLess(a.name, b.name); });
    r.hex = MakeHex(r, ctx.writtenBits);
    // The listing needs the statements, bytes and symbols, not the operands:
    // their memory goes before the listing's is taken.
    std::vector<Operand>().swap(ctx.operands);
    std::vector<ExprOp>().swap(ctx.exprOps);
    if (options.listing)
        r.listing = MakeListing(ctx, r);
    r.errors = std::move(ctx.errors);
    r.warnings = std::move(ctx.warnings);
    r.dialect = ctx.dialect;
    for (std::vector<AsmError>* list : {&r.errors, &r.warnings}) {
        for (AsmError& e : *list) {
            const std::int32_t row = e.line;
            const Run& run = ctx.RunOf(row);
            e.line = ctx.FileLine(row);
            if (run.file != 0)
                e.file = ctx.files[static_cast<std::size_t>(run.file)].name;
            e.context = ctx.Chain(row);
        }
    }
    return r;
}

} // namespace m51asm
