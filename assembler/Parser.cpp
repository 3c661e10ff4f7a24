// Parsing one line: it becomes at most one statement with its label, its
// operands classified by form and its expressions in postfix steps. Labels
// take the type of the segment they are in.
#include "Context.h"
#include "Characters.h"

#include <algorithm>
#include <cstring>

namespace m51asm {

namespace {

std::string_view Trim(std::string_view s)
{
    return TrimBlanks(s);
}

// Keywords at the start of a statement: the mnemonics, then the directives.
enum : int { kDirectiveBase = 100 };

struct Keyword {
    const char* name;
    int id;  // Mnemonic, or kDirectiveBase + Kind
};

constexpr int D(Kind k) { return kDirectiveBase + static_cast<int>(k); }
constexpr int I(Mnemonic m) { return static_cast<int>(m); }

// Sorted by name for the binary search.
constexpr Keyword kKeywords[] = {
    {"ACALL", I(Mnemonic::Acall)}, {"ADD", I(Mnemonic::Add)},   {"ADDC", I(Mnemonic::Addc)},
    {"AJMP", I(Mnemonic::Ajmp)},   {"ANL", I(Mnemonic::Anl)},   {"BIT", D(Kind::Bit)},
    {"BSEG", D(Kind::Segment)},
    {"CALL", I(Mnemonic::Call)},   {"CJNE", I(Mnemonic::Cjne)}, {"CLR", I(Mnemonic::Clr)},
    {"CODE", D(Kind::Code)},       {"CPL", I(Mnemonic::Cpl)},   {"CSEG", D(Kind::Segment)},
    {"DA", I(Mnemonic::Da)},
    {"DATA", D(Kind::Data)},       {"DB", D(Kind::Db)},         {"DBIT", D(Kind::Dbit)},
    {"DEC", I(Mnemonic::Dec)},
    {"DIV", I(Mnemonic::Div)},     {"DJNZ", I(Mnemonic::Djnz)}, {"DS", D(Kind::Ds)},
    {"DSEG", D(Kind::Segment)},
    {"DW", D(Kind::Dw)},           {"END", D(Kind::End)},       {"EQU", D(Kind::Equ)},
    {"IDATA", D(Kind::IData)},     {"INC", I(Mnemonic::Inc)},   {"ISEG", D(Kind::Segment)},
    {"JB", I(Mnemonic::Jb)},
    {"JBC", I(Mnemonic::Jbc)},     {"JC", I(Mnemonic::Jc)},     {"JMP", I(Mnemonic::Jmp)},
    {"JNB", I(Mnemonic::Jnb)},     {"JNC", I(Mnemonic::Jnc)},   {"JNZ", I(Mnemonic::Jnz)},
    {"JZ", I(Mnemonic::Jz)},       {"LCALL", I(Mnemonic::Lcall)}, {"LJMP", I(Mnemonic::Ljmp)},
    {"MOV", I(Mnemonic::Mov)},     {"MOVC", I(Mnemonic::Movc)}, {"MOVX", I(Mnemonic::Movx)},
    {"MUL", I(Mnemonic::Mul)},     {"NOP", I(Mnemonic::Nop)},   {"ORG", D(Kind::Org)},
    {"ORL", I(Mnemonic::Orl)},     {"POP", I(Mnemonic::Pop)},   {"PUSH", I(Mnemonic::Push)},
    {"RET", I(Mnemonic::Ret)},     {"RETI", I(Mnemonic::Reti)}, {"RL", I(Mnemonic::Rl)},
    {"RLC", I(Mnemonic::Rlc)},     {"RR", I(Mnemonic::Rr)},     {"RRC", I(Mnemonic::Rrc)},
    {"SET", D(Kind::Set)},         {"SETB", I(Mnemonic::Setb)}, {"SJMP", I(Mnemonic::Sjmp)},
    {"SUBB", I(Mnemonic::Subb)},   {"SWAP", I(Mnemonic::Swap)}, {"USING", D(Kind::Using)},
    {"XCH", I(Mnemonic::Xch)},     {"XCHD", I(Mnemonic::Xchd)}, {"XDATA", D(Kind::XData)},
    {"XRL", I(Mnemonic::Xrl)},     {"XSEG", D(Kind::Segment)},
};

// The keyword id of a word, or -1.
int FindKeyword(std::string_view word)
{
    if (word.empty() || word.size() > 5)
        return -1;
    char u[6] = {};  // the longest keyword has five letters
    for (std::size_t i = 0; i < word.size(); ++i)
        u[i] = Upper(word[i]);
    const auto it = std::lower_bound(std::begin(kKeywords), std::end(kKeywords), u,
                                     [](const Keyword& k, const char* w) { return std::strcmp(k.name, w) < 0; });
    if (it == std::end(kKeywords) || std::strcmp(it->name, u) != 0)
        return -1;
    return it->id;
}

bool IsNameDirective(int id)
{
    switch (id) {
    case D(Kind::Equ): case D(Kind::Set): case D(Kind::Bit): case D(Kind::Data):
    case D(Kind::IData): case D(Kind::XData): case D(Kind::Code):
        return true;
    default:
        return false;
    }
}

const char* SegmentName(Segment s)
{
    switch (s) {
    case Segment::Data: return "DSEG";
    case Segment::IData: return "ISEG";
    case Segment::Bit: return "BSEG";
    case Segment::XData: return "XSEG";
    default: return "CSEG";
    }
}

SymbolKind SegmentKind(Segment s)
{
    switch (s) {
    case Segment::Data: return SymbolKind::Data;
    case Segment::IData: return SymbolKind::IData;
    case Segment::Bit: return SymbolKind::Bit;
    case Segment::XData: return SymbolKind::XData;
    default: return SymbolKind::Code;
    }
}

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

class LineParser {
public:
    explicit LineParser(Context& ctx) : m_ctx(ctx) {}

    // Returns false after END.
    bool Parse(std::string_view code, std::int32_t lineNo)
    {
        m_lineNo = lineNo;
        if (code.empty())
            return true;
        Statement st;
        st.line = lineNo;
        st.segment = m_ctx.parseSegment;
        if (code[0] == '.' && m_ctx.rules.dotDirectives)
            return DotDirective(st, code.substr(1));
        std::size_t p = 0;
        std::string_view word1 = Word(code, p);
        if (word1.empty()) {
            m_ctx.Error(lineNo, "unexpected \"" + std::string(code.substr(0, 1)) + "\" at the start of the line");
            return true;
        }
        std::size_t q = SkipBlanks(code, p);
        std::string_view mnemonic;
        std::size_t afterMnemonic = 0;
        if (q < code.size() && code[q] == ':') {
            st.label = DefineLabel(word1);
            q = SkipBlanks(code, q + 1);
            std::size_t r = q;
            mnemonic = Word(code, r);
            afterMnemonic = r;
            if (mnemonic.empty() && q < code.size() && code[q] == '.' && m_ctx.rules.dotDirectives)
                return DotDirective(st, code.substr(q + 1));
            if (mnemonic.empty() && q < code.size()) {
                m_ctx.Error(lineNo, "unexpected \"" + std::string(code.substr(q, 1)) + "\" after the label");
                return Push(st);
            }
        } else {
            std::size_t r = q;
            const std::string_view word2 = Word(code, r);
            const int id2 = word2.empty() ? -1 : FindKeyword(word2);
            const int id1 = FindKeyword(word1);
            if (m_ctx.rules.cDeclarations && id1 < 0 &&
                (EqualsUpper(word1, "SFR") || EqualsUpper(word1, "SFR16") || EqualsUpper(word1, "SBIT")))
                return Declaration(st, word1, code.substr(p));
            if (id2 >= 0 && IsNameDirective(id2)) {
                return NameDefinition(st, word1, static_cast<Kind>(id2 - kDirectiveBase), code.substr(r));
            }
            if (id2 < 0 && EqualsUpper(word2, "SEGMENT")) {
                Relocatable("SEGMENT");
                return Push(st);
            }
            if (id1 < 0 && (id2 == D(Kind::Db) || id2 == D(Kind::Dw) || id2 == D(Kind::Ds) || id2 == D(Kind::Dbit))) {
                st.label = DefineLabel(word1);
                mnemonic = word2;
                afterMnemonic = r;
            } else {
                mnemonic = word1;
                afterMnemonic = p;
            }
        }
        if (mnemonic.empty())
            return Push(st);
        const int id = FindKeyword(mnemonic);
        const std::string_view rest = Trim(code.substr(afterMnemonic));
        if (id < 0) {
            if (EqualsUpper(mnemonic, "NAME"))  // the module's name: nothing to do
                return Push(st);
            for (const char* word : {"RSEG", "PUBLIC", "EXTRN", "EXTERN"}) {
                if (EqualsUpper(mnemonic, word)) {
                    Relocatable(word);
                    return Push(st);
                }
            }
            m_ctx.Error(lineNo, "unknown mnemonic " + std::string(mnemonic));
            return Push(st);
        }
        if (IsNameDirective(id)) {
            m_ctx.Error(lineNo, std::string(mnemonic) + " needs a name in front of it");
            return Push(st);
        }
        const bool emits = id < kDirectiveBase || id == D(Kind::Db) || id == D(Kind::Dw);
        if (emits && st.segment != Segment::Code) {
            m_ctx.Error(lineNo, std::string(id < kDirectiveBase ? "an instruction" : "DB and DW") +
                                    " belongs in the code segment (CSEG); this line is in " +
                                    SegmentName(st.segment));
            st.failed = true;
            return Push(st);
        }
        if (id < kDirectiveBase)
            Instruction(st, static_cast<Mnemonic>(id), rest);
        else if (id == D(Kind::Segment))
            SegmentSwitch(st, mnemonic, rest);
        else
            Directive(st, static_cast<Kind>(id - kDirectiveBase), mnemonic, rest);
        Push(st);
        return st.kind != Kind::End;
    }

private:
    void Relocatable(const char* word)
    {
        m_ctx.Error(m_lineNo, std::string(word) +
                                  ": relocatable segments and PUBLIC/EXTRN need a linker, which m51as does not have; "
                                  "write the program with absolute segments (CSEG, DSEG, ISEG, BSEG, XSEG and AT)");
    }

    // CSEG, DSEG ... with an optional AT address.
    void SegmentSwitch(Statement& st, std::string_view word, std::string_view rest)
    {
        st.kind = Kind::Segment;
        const char u = Upper(word[0]);
        const Segment seg = u == 'C' ? Segment::Code : u == 'D' ? Segment::Data : u == 'I' ? Segment::IData
                          : u == 'B' ? Segment::Bit : Segment::XData;
        st.form = static_cast<std::uint16_t>(seg);
        st.segment = seg;
        m_ctx.parseSegment = seg;
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
        if (!ParseExpression(m_ctx, Trim(rest.substr(p)), m_lineNo, op.expr)) {
            st.failed = true;
            return;
        }
        st.firstOperand = static_cast<std::uint32_t>(m_ctx.operands.size());
        st.operandCount = 1;
        m_ctx.operands.push_back(op);
    }

    static std::size_t SkipBlanks(std::string_view s, std::size_t p)
    {
        while (p < s.size() && IsBlank(s[p]))
            ++p;
        return p;
    }

    // The identifier at p (blanks skipped), p moved behind it.
    static std::string_view Word(std::string_view s, std::size_t& p)
    {
        p = SkipBlanks(s, p);
        const std::size_t start = p;
        if (p >= s.size() || !IsIdentStart(static_cast<unsigned char>(s[p])))
            return {};
        while (p < s.size() && IsIdentChar(static_cast<unsigned char>(s[p])))
            ++p;
        return s.substr(start, p - start);
    }

    bool Push(Statement& st)
    {
        Track(st);
        m_ctx.statements.push_back(st);
        return true;
    }

    // Follows the location counter while it is fixed: a label gets its
    // address now, so IF and EQU lines below it can use it.
    void Track(const Statement& st)
    {
        const int seg = static_cast<int>(st.segment);
        std::uint32_t& pc = m_ctx.readPc[seg];
        bool& fixed = m_ctx.readPcFixed[seg];
        if (st.label >= 0 && fixed && st.kind != Kind::Segment) {
            SymbolEntry& s = m_ctx.symbols[st.label];
            if (!s.known && s.line == m_lineNo) {
                s.value = static_cast<std::int32_t>(pc);
                s.known = true;
            }
        }
        if (st.failed)
            return;
        std::int32_t v = 0;
        const auto valueNow = [&] {
            const bool ok = st.operandCount == 1 && Evaluate(m_ctx, m_ctx.operands[st.firstOperand].expr,
                                                             static_cast<std::int32_t>(pc), v) && v >= 0 && v <= 0xFFFF;
            m_ctx.unknownSeen = false;
            return ok;
        };
        switch (st.kind) {
        case Kind::Org:
        case Kind::Segment:
            if (st.kind == Kind::Org || st.operandCount == 1) {
                fixed = valueNow();
                pc = static_cast<std::uint32_t>(v);
            }
            return;
        case Kind::Ds:
        case Kind::Dbit:
            fixed = fixed && valueNow();
            pc += static_cast<std::uint32_t>(v);
            break;
        case Kind::Instruction:
            if ((st.form == kGenericJmp || st.form == kGenericCall) && !st.longJump)
                fixed = false;  // its size is settled by the passes
            pc += st.size;
            break;
        case Kind::Db:
        case Kind::Dw:
            pc += st.size;
            break;
        default:
            return;
        }
        fixed = fixed && pc <= 0xFFFF;
    }

    // An as31 directive: .org, .equ NAME, VALUE, .db/.byte, .dw/.word, .skip,
    // .flag NAME, BIT, .end (which as31 reads on after).
    bool DotDirective(Statement& st, std::string_view text)
    {
        std::size_t p = 0;
        const std::string_view word = Word(text, p);
        const std::string_view rest = Trim(text.substr(p));
        const bool equ = EqualsUpper(word, "EQU");
        if (equ || EqualsUpper(word, "FLAG")) {
            const std::size_t comma = rest.find(',');
            std::size_t n = 0;
            const std::string_view name = comma == std::string_view::npos ? std::string_view() : Word(rest, n);
            if (name.empty() || Trim(rest.substr(n, comma - n)).size() != 0) {
                m_ctx.Error(m_lineNo, std::string(equ ? ".equ" : ".flag") + " needs a name and a value: ." +
                                          (equ ? "equ NAME, VALUE" : "flag NAME, BYTE.BIT"));
                return Push(st);
            }
            return NameDefinition(st, name, equ ? Kind::Equ : Kind::Bit, rest.substr(comma + 1));
        }
        if (EqualsUpper(word, "END"))
            return Push(st);  // as31 reads on after .end
        Kind kind = Kind::Label;
        if (EqualsUpper(word, "ORG"))
            kind = Kind::Org;
        else if (EqualsUpper(word, "DB") || EqualsUpper(word, "BYTE"))
            kind = Kind::Db;
        else if (EqualsUpper(word, "DW") || EqualsUpper(word, "WORD"))
            kind = Kind::Dw;
        else if (EqualsUpper(word, "SKIP") || EqualsUpper(word, "DS"))
            kind = Kind::Ds;
        if (kind == Kind::Label) {
            m_ctx.Error(m_lineNo, "unknown directive ." + std::string(word.empty() ? text.substr(0, 1) : word) +
                                      " (.org, .equ, .db, .byte, .dw, .word, .skip, .flag, .end, .inc)");
            return Push(st);
        }
        Directive(st, kind, word, rest);
        return Push(st);
    }

    // Keil's C header declarations: sfr NAME = address, sfr16 NAME = address,
    // sbit NAME = byte ^ bit.
    bool Declaration(Statement& st, std::string_view word, std::string_view text)
    {
        std::size_t p = 0;
        const std::string_view name = Word(text, p);
        p = SkipBlanks(text, p);
        if (name.empty() || p >= text.size() || text[p] != '=') {
            m_ctx.Error(m_lineNo, std::string(word) + " needs NAME = " + (EqualsUpper(word, "SBIT") ? "byte ^ bit" : "address"));
            return Push(st);
        }
        std::string value(Trim(text.substr(p + 1)));
        const bool bit = EqualsUpper(word, "SBIT");
        if (bit)
            std::replace(value.begin(), value.end(), '^', '.');
        return NameDefinition(st, name, bit ? Kind::Bit : Kind::Data, m_ctx.Keep(std::move(value)));
    }

    // An as31 string: backslash escapes decoded, kept with its quote
    // written twice where it stands in the text, as the code pass reads it.
    bool EscapedString(std::string_view op, std::string_view& inner, std::size_t& length)
    {
        if (op.size() < 2 || (op[0] != '"' && op[0] != '\'') || op.back() != op[0])
            return false;
        const char q = op[0];
        std::string text(1, q);
        length = 0;
        for (std::size_t i = 1; i + 1 < op.size(); ++i) {
            char c = op[i];
            if (c == '\\' && i + 2 < op.size())
                c = EscapedChar(op[++i]);
            else if (c == q)
                return false;
            if (c == q)
                text += q;
            text += c;
            ++length;
        }
        text += q;
        inner = m_ctx.Keep(std::move(text));
        inner = inner.substr(1, inner.size() - 2);
        return true;
    }

    // Claims `name` for a definition on this line; -1 (reported) when taken.
    std::int32_t Claim(std::string_view name, bool redefinable)
    {
        if (FindKeyword(name) >= 0 || RegisterNumber(name) >= 0 || EqualsUpper(name, "A") ||
            EqualsUpper(name, "C") || EqualsUpper(name, "AB") || EqualsUpper(name, "DPTR") ||
            (!m_ctx.rules.symbolOperators && OperatorName(name))) {
            m_ctx.Error(m_lineNo, "reserved word " + std::string(name) + " cannot be a name");
            return -1;
        }
        const std::int32_t id = m_ctx.symbols.Intern(name);
        SymbolEntry& s = m_ctx.symbols[id];
        if (s.line > 0 && !(redefinable && s.redefinable)) {
            m_ctx.Error(m_lineNo, "symbol " + std::string(name) + " is already defined " +
                                      (m_ctx.RunOf(s.line).file == m_ctx.RunOf(m_lineNo).file ? "on " : "at ") +
                                      m_ctx.Where(s.line));
            return -1;
        }
        if (s.predefined) {
            // The source's own meaning replaces the register name everywhere.
            s.predefined = false;
            s.bankRegister = false;
            s.known = false;
        }
        s.name = name;
        if (s.line == 0)
            s.line = m_lineNo;
        s.redefinable = redefinable;
        return id;
    }

    static bool OperatorName(std::string_view n)
    {
        for (const char* w : {"MOD", "AND", "OR", "XOR", "NOT", "SHL", "SHR", "HIGH", "LOW", "EQ", "NE", "LT", "LE",
                              "GT", "GE"})
            if (EqualsUpper(n, w))
                return true;
        return false;
    }

    std::int32_t DefineLabel(std::string_view name)
    {
        const std::int32_t id = Claim(name, false);
        if (id >= 0)
            m_ctx.symbols[id].kind = SegmentKind(m_ctx.parseSegment);
        return id;
    }

    bool NameDefinition(Statement& st, std::string_view name, Kind kind, std::string_view rest)
    {
        st.kind = kind;
        rest = Trim(rest);
        if (rest.empty()) {
            m_ctx.Error(m_lineNo, "missing value after " + std::string(name));
            st.failed = true;
            return Push(st);
        }
        const std::int32_t id = Claim(name, kind == Kind::Set);
        if (id < 0) {
            st.failed = true;
            return Push(st);
        }
        SymbolEntry& s = m_ctx.symbols[id];
        // A register given a name: "COUNTER EQU R7".
        const int reg = RegisterNumber(rest);
        if ((kind == Kind::Equ || kind == Kind::Set) && (reg >= 0 || EqualsUpper(rest, "A"))) {
            s.kind = SymbolKind::Register;
            s.value = reg >= 0 ? reg : 8;
            s.known = true;
            st.kind = Kind::Label;
            return Push(st);
        }
        switch (kind) {
        case Kind::Bit: s.kind = SymbolKind::Bit; break;
        case Kind::Data: s.kind = SymbolKind::Data; break;
        case Kind::IData: s.kind = SymbolKind::IData; break;
        case Kind::XData: s.kind = SymbolKind::XData; break;
        case Kind::Code: s.kind = SymbolKind::Code; break;
        default: s.kind = SymbolKind::Number; break;
        }
        st.name = id;
        Operand op;
        op.mode = Mode::Expr;
        if (!ParseExpression(m_ctx, rest, m_lineNo, op.expr)) {
            st.failed = true;
            st.name = -1;
            return Push(st);
        }
        st.firstOperand = static_cast<std::uint32_t>(m_ctx.operands.size());
        st.operandCount = 1;
        m_ctx.operands.push_back(op);
        if (kind == Kind::Equ || kind == Kind::Set) {
            // Known on first reading when it uses only names defined above:
            // IF, REPT and the jump rule can use it on the lines that follow.
            bool usesHere = false;
            for (std::uint32_t i = 0; i < op.expr.count; ++i)
                usesHere = usesHere || m_ctx.exprOps[op.expr.first + i].op == Op::Here;
            std::int32_t v = 0;
            if (!usesHere && Evaluate(m_ctx, op.expr, 0, v)) {
                s.value = v;
                s.known = true;
            }
            m_ctx.unknownSeen = false;
        }
        return Push(st);
    }

    void Instruction(Statement& st, Mnemonic m, std::string_view rest)
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

    void BadOperands(Mnemonic m, std::size_t count, std::string_view rest)
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

    void Directive(Statement& st, Kind kind, std::string_view word, std::string_view rest)
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

    Context& m_ctx;
    std::int32_t m_lineNo = 0;
    std::vector<std::string_view>& m_texts = m_ctx.operandTexts;
};

} // namespace

bool ParseLine(Context& ctx, std::string_view code, std::int32_t row)
{
    LineParser parser(ctx);
    return parser.Parse(code, row);
}

} // namespace m51asm
