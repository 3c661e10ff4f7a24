// Parsing one line: it becomes at most one statement with its label, its
// operands classified by form and its expressions in postfix steps. Labels
// take the type of the segment they are in. This file holds the keywords, the
// shape of a line, labels and name definitions and the location counter
// followed while reading; the statements themselves are parsed in
// Directives.cpp and DialectDirectives.cpp.
#include "assembler/LineParser.h"
#include "assembler/Characters.h"

#include <algorithm>
#include <cstring>

namespace m51asm {

namespace {

struct Keyword {
    const char* name;
    int id;  // Mnemonic, or kDirectiveBase + Kind
};

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

// A keyword of up to five letters as one number, the first letter highest:
// numbers order as the names do, so the search compares numbers, not strings.
constexpr std::uint64_t PackedName(const char* name)
{
    std::uint64_t key = 0;
    for (int i = 0; i < 5; ++i)
        key = key << 8 | static_cast<unsigned char>(*name ? *name++ : 0);
    return key;
}

constexpr std::size_t kKeywordCount = std::size(kKeywords);

struct KeywordKeys {
    std::uint64_t keys[kKeywordCount] = {};
    constexpr KeywordKeys()
    {
        for (std::size_t i = 0; i < kKeywordCount; ++i)
            keys[i] = PackedName(kKeywords[i].name);
    }
};
constexpr KeywordKeys kKeywordKeys;
static_assert(std::is_sorted(std::begin(kKeywordKeys.keys), std::end(kKeywordKeys.keys)), "keywords sorted by name");

} // namespace

int FindKeyword(std::string_view word)
{
    if (word.empty() || word.size() > 5)
        return -1;
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 5; ++i)
        key = key << 8 | static_cast<unsigned char>(i < word.size() ? Upper(word[i]) : 0);
    const std::uint64_t* end = kKeywordKeys.keys + kKeywordCount;
    const std::uint64_t* it = std::lower_bound(kKeywordKeys.keys, end, key);
    if (it == end || *it != key)
        return -1;
    return kKeywords[it - kKeywordKeys.keys].id;
}

WordKind KindOfWord(std::string_view word)
{
    const int id = FindKeyword(word);
    if (id >= kDirectiveBase)
        return WordKind::Directive;
    if (id >= 0)
        return WordKind::Instruction;
    // The words the other stages read: modules, Keil's declarations, as31's
    // directives, macros, conditional assembly and include files.
    static constexpr const char* kStageWords[] = {
        "NAME",  "SEGMENT", "RSEG",  "PUBLIC", "EXTRN", "EXTERN", "AT",    "SFR",    "SFR16", "SBIT",
        "BYTE",  "WORD",    "SKIP",  "FLAG",   "EQU",   "MACRO",  "ENDM",  "LOCAL",  "EXITM", "REPT",
        "IRP",   "IRPC",    "IF",    "IFDEF",  "IFNDEF", "IFB",   "IFNB",  "IFIDN",  "IFDIF", "ELSE",
        "ELSEIF", "ENDIF",  "INCLUDE", "INC"};
    for (const char* known : kStageWords)
        if (EqualsUpper(word, known))
            return WordKind::Directive;
    return WordKind::Other;
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

// Returns false after END.
bool LineParser::Parse(std::string_view code, std::int32_t lineNo)
{
    m_lineNo = lineNo;
    if (code.empty())
        return true;
    Statement st;
    st.line = lineNo;
    st.segment = m_ctx.parseSegment;
    st.rseg = m_ctx.parseRseg;
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
        if (m_ctx.modules && (EqualsUpper(word1, "EXTRN") || EqualsUpper(word1, "EXTERN")))
            return ModuleDirective(st, word1, TrimBlanks(code.substr(p)));  // EXTRN CODE (...)
        if (id2 >= 0 && IsNameDirective(id2)) {
            return NameDefinition(st, word1, static_cast<Kind>(id2 - kDirectiveBase), code.substr(r));
        }
        if (id2 < 0 && EqualsUpper(word2, "SEGMENT")) {
            if (m_ctx.modules)
                return SegmentDeclaration(st, word1, code.substr(r));
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
    const std::string_view rest = TrimBlanks(code.substr(afterMnemonic));
    if (id < 0) {
        if (m_ctx.modules)
            for (const char* word : {"NAME", "RSEG", "PUBLIC", "EXTRN", "EXTERN"})
                if (EqualsUpper(mnemonic, word))
                    return ModuleDirective(st, mnemonic, rest);
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

bool LineParser::Push(Statement& st)
{
    Track(st);
    m_ctx.statements.push_back(st);
    return true;
}

// Follows the location counter while it is fixed: a label gets its
// address now, so IF and EQU lines below it can use it.
void LineParser::Track(const Statement& st)
{
    if (st.rseg >= 0)
        return;  // where a relocatable segment goes is the linker's choice
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

std::size_t LineParser::SkipBlanks(std::string_view s, std::size_t p)
{
    while (p < s.size() && IsBlank(s[p]))
        ++p;
    return p;
}

// The identifier at p (blanks skipped), p moved behind it.
std::string_view LineParser::Word(std::string_view s, std::size_t& p)
{
    p = SkipBlanks(s, p);
    const std::size_t start = p;
    if (p >= s.size() || !IsIdentStart(static_cast<unsigned char>(s[p])))
        return {};
    while (p < s.size() && IsIdentChar(static_cast<unsigned char>(s[p])))
        ++p;
    return s.substr(start, p - start);
}

// Claims `name` for a definition on this line; -1 (reported) when taken.
std::int32_t LineParser::Claim(std::string_view name, bool redefinable)
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

bool LineParser::OperatorName(std::string_view n)
{
    for (const char* w : {"MOD", "AND", "OR", "XOR", "NOT", "SHL", "SHR", "HIGH", "LOW", "EQ", "NE", "LT", "LE",
                          "GT", "GE"})
        if (EqualsUpper(n, w))
            return true;
    return false;
}

std::int32_t LineParser::DefineLabel(std::string_view name)
{
    const std::int32_t id = Claim(name, false);
    if (id >= 0) {
        m_ctx.symbols[id].kind = SegmentKind(m_ctx.parseSegment);
        m_ctx.symbols[id].rseg = m_ctx.parseRseg;
    }
    return id;
}

bool LineParser::NameDefinition(Statement& st, std::string_view name, Kind kind, std::string_view rest)
{
    st.kind = kind;
    rest = TrimBlanks(rest);
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

bool ParseLine(Context& ctx, std::string_view code, std::int32_t row)
{
    LineParser parser(ctx);
    return parser.Parse(code, row);
}

} // namespace m51asm
