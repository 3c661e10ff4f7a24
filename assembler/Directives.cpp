// The statements of a line once its shape is known: instructions with their
// operands, the directives with operands (ORG, DB, DS, USING ...) and the
// absolute segment switches.
#include "assembler/LineParser.h"
#include "assembler/Characters.h"

namespace m51asm {

namespace {

// True when every symbol of the expression is defined on an earlier line
// (or predefined): its value is known on first reading, as ASM51's first pass
// knows it. `$` counts as known.
bool DefinedAbove(const Context& ctx, ExprRef e)
{
    for (std::uint32_t i = 0; i < e.count; ++i) {
        const ExprOp& op = ctx.exprOps[e.first + i];
        if (op.op != Op::Symbol)
            continue;
        const SymbolEntry& s = ctx.symbols[op.value];
        if (s.line == 0 && !(s.predefined && s.known))
            return false;
    }
    return true;
}

} // namespace

void LineParser::Relocatable(const char* word)
{
    m_ctx.Error(m_lineNo, std::string(word) +
                              ": relocatable segments and PUBLIC/EXTRN need a linker, which m51as does not have; "
                              "write the program with absolute segments (CSEG, DSEG, ISEG, BSEG, XSEG and AT)");
}

// CSEG, DSEG ... with an optional AT address.
void LineParser::SegmentSwitch(Statement& st, std::string_view word, std::string_view rest)
{
    st.kind = Kind::Segment;
    const char u = Upper(word[0]);
    const Segment seg = u == 'C' ? Segment::Code : u == 'D' ? Segment::Data : u == 'I' ? Segment::IData
                      : u == 'B' ? Segment::Bit : Segment::XData;
    st.form = static_cast<std::uint16_t>(seg);
    st.segment = seg;
    st.rseg = -1;
    m_ctx.parseSegment = seg;
    m_ctx.parseRseg = -1;
    if (rest.empty())
        return;
    std::size_t p = 0;
    const std::string_view at = Word(rest, p);
    if (!EqualsUpper(at, "AT")) {
        m_ctx.Error(m_lineNo, std::string(SegmentName(seg)) + " takes nothing or AT address");
        st.failed = true;
        return;
    }
    Operand op;
    op.mode = Mode::Expr;
    if (!ParseExpression(m_ctx, TrimBlanks(rest.substr(p)), m_lineNo, op.expr)) {
        st.failed = true;
        return;
    }
    st.firstOperand = static_cast<std::uint32_t>(m_ctx.operands.size());
    st.operandCount = 1;
    m_ctx.operands.push_back(op);
}

void LineParser::Instruction(Statement& st, Mnemonic m, std::string_view rest)
{
    st.kind = Kind::Instruction;
    m_texts.clear();
    if (!rest.empty())
        SplitOperands(rest, m_texts, m_ctx.rules.backslashEscapes);
    const std::size_t count = m_texts.size();
    if (count > 3) {
        m_ctx.Error(m_lineNo, std::string(MnemonicName(m)) + " takes at most 3 operands");
        st.failed = true;
        return;
    }
    Operand ops[3];
    Mode modes[3] = {};
    for (std::size_t i = 0; i < count; ++i) {
        if (!ClassifyOperand(m_ctx, m_texts[i], m_lineNo, ops[i])) {
            st.failed = true;
            return;
        }
        modes[i] = ops[i].mode;
    }
    int form = -1;
    if ((m == Mnemonic::Jmp || m == Mnemonic::Call) && count == 1 && modes[0] == Mode::Expr) {
        st.form = m == Mnemonic::Jmp ? kGenericJmp : kGenericCall;
        st.longJump = !m_ctx.options.shortestJumps && !m_ctx.rules.shortestJumps && !DefinedAbove(m_ctx, ops[0].expr);
        st.size = st.longJump ? 3 : 2;
    } else {
        form = FindForm(m, std::span<const Mode>(modes, count));
        if (form < 0) {
            BadOperands(m, count, rest);
            st.failed = true;
            return;
        }
        st.form = static_cast<std::uint16_t>(form);
        st.size = Forms()[static_cast<std::size_t>(form)].size;
    }
    st.firstOperand = static_cast<std::uint32_t>(m_ctx.operands.size());
    st.operandCount = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i)
        m_ctx.operands.push_back(ops[i]);
}

void LineParser::BadOperands(Mnemonic m, std::size_t count, std::string_view rest)
{
    const std::string name(MnemonicName(m));
    bool countFits = false;
    int wanted = -1;
    for (const Form& f : Forms()) {
        if (f.mnemonic != m)
            continue;
        countFits = countFits || f.operandCount == count;
        wanted = f.operandCount;
    }
    if (m == Mnemonic::Call)
        wanted = 1, countFits = count == 1;
    if (!countFits) {
        m_ctx.Error(m_lineNo, name + (wanted == 0 ? " takes no operands"
                                                  : " needs " + std::to_string(wanted) +
                                                        (wanted == 1 ? " operand" : " operands")));
        return;
    }
    std::string message = "invalid operands for " + name + ": " + std::string(rest);
    if ((m == Mnemonic::Push || m == Mnemonic::Pop) && count == 1)
        message += " (write ACC for the accumulator)";
    m_ctx.Error(m_lineNo, message);
}

void LineParser::Directive(Statement& st, Kind kind, std::string_view word, std::string_view rest)
{
    st.kind = kind;
    m_texts.clear();
    if (!rest.empty())
        SplitOperands(rest, m_texts, m_ctx.rules.backslashEscapes);
    const std::size_t count = m_texts.size();
    const std::string name = [&] {
        std::string n(word);
        for (char& c : n)
            c = Upper(c);
        return n;
    }();
    if (kind == Kind::End) {
        if (count)
            m_ctx.Error(m_lineNo, "END takes no operands");
        return;
    }
    if (count == 0) {
        m_ctx.Error(m_lineNo, name + " needs an operand");
        st.failed = true;
        return;
    }
    if ((kind == Kind::Org || kind == Kind::Ds || kind == Kind::Using || kind == Kind::Dbit) && count != 1) {
        m_ctx.Error(m_lineNo, name + " takes one operand");
        st.failed = true;
        return;
    }
    st.firstOperand = static_cast<std::uint32_t>(m_ctx.operands.size());
    std::uint32_t size = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Operand op;
        op.mode = Mode::Expr;
        std::string_view inner;
        std::size_t length = 0;
        const std::string_view t = m_texts[i];
        if (kind == Kind::Db && (m_ctx.rules.backslashEscapes ? EscapedString(t, inner, length)
                                                              : WholeString(t, inner, length))) {
            op.isString = true;
            op.expr.first = static_cast<std::uint32_t>(m_ctx.strings.size());
            op.expr.count = 1;
            m_ctx.strings.push_back(inner);
            size += static_cast<std::uint32_t>(length);
        } else if (t.empty()) {
            m_ctx.Error(m_lineNo, "missing operand");
            st.failed = true;
        } else if (!ParseExpression(m_ctx, t, m_lineNo, op.expr)) {
            st.failed = true;
        } else {
            size += kind == Kind::Dw ? 2 : 1;
        }
        m_ctx.operands.push_back(op);
    }
    if (st.failed) {
        m_ctx.operands.resize(st.firstOperand);
        return;
    }
    st.operandCount = static_cast<std::uint32_t>(count);
    if (kind == Kind::Db || kind == Kind::Dw)
        st.size = size;
    if (kind == Kind::Dbit && st.segment != Segment::Bit) {
        m_ctx.Error(m_lineNo, "DBIT belongs in the bit segment (BSEG); this line is in " +
                                  std::string(SegmentName(st.segment)));
        st.failed = true;
    } else if (kind == Kind::Ds && st.segment == Segment::Bit) {
        m_ctx.Error(m_lineNo, "DS does not reserve bits: write DBIT in the bit segment (BSEG)");
        st.failed = true;
    }
}

} // namespace m51asm
