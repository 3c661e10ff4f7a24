#pragma once
// The state of one assembly run, shared by the parser, the layout and code
// passes and the output writers. Everything a run needs lives here; the
// statements keep views into the caller's source text.

#include "Assembler.h"
#include "Instructions.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

// Calls f(text, lineNo) for each line of `source` (lines end at CR LF, LF or a
// lone CR; numbered from 1; a final line break adds no line) until f returns
// false. Parsing, listing and SplitLines all walk the source this one way.
template <class F>
void ForEachLine(std::string_view source, F&& f)
{
    std::size_t start = 0;
    std::int32_t lineNo = 0;
    while (start < source.size()) {
        std::size_t end = start;
        while (end < source.size() && source[end] != '\r' && source[end] != '\n')
            ++end;
        if (!f(source.substr(start, end - start), ++lineNo))
            return;
        if (end < source.size() && source[end] == '\r' && end + 1 < source.size() && source[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

// One step of an expression in postfix order.
enum class Op : std::uint8_t {
    Number,  // push value
    Symbol,  // push the value of symbol `value`
    Here,    // push the address of the current statement ($)
    Neg, Not, High, Low,
    Add, Sub, Mul, Div, Mod, And, Or, Xor, Shl, Shr,
    BitOf,   // byte address . bit number
};

struct ExprOp {
    Op op;
    std::int32_t value;
};

struct ExprRef {
    std::uint32_t first = 0;
    std::uint32_t count = 0;  // 0: no expression
};

struct Operand {
    Mode mode = Mode::None;
    std::uint8_t reg = 0;      // register number of Reg and AtReg
    bool isString = false;     // DB string: `expr` holds offset and length of the characters
                               // between the quotes in the source (doubled quotes still doubled)
    ExprRef expr;
};

enum class Kind : std::uint8_t {
    Label,        // nothing but a label (or a line whose statement failed)
    Instruction,  // `form` indexes Forms(), or kGenericJmp / kGenericCall
    Org, Equ, Set, Bit, Data, IData, XData, Code, Db, Dw, Ds, Using, End,
};

struct Statement {
    std::int32_t line = 0;     // 1-based
    std::int32_t label = -1;   // symbol defined as this statement's address
    std::int32_t name = -1;    // symbol defined by EQU, SET, BIT, DATA ...
    std::uint32_t firstOperand = 0;
    std::uint32_t address = 0; // of the last pass
    std::uint32_t firstByte = 0;  // the bytes emitted, in Context::bytes
    std::uint32_t operandCount = 0;
    std::uint32_t size = 0;    // bytes taken (DB, DW, instructions) or reserved (DS, last pass)
    std::uint32_t emitted = 0; // bytes emitted in the code pass
    std::uint16_t form = 0;
    Kind kind = Kind::Label;
    bool failed = false;       // parse error: takes no room
};

struct SymbolEntry {
    std::string_view name;     // first spelling seen
    std::uint32_t hash = 0;
    std::int32_t value = 0;
    std::int32_t line = 0;     // definition line, 0 while undefined
    SymbolKind kind = SymbolKind::Number;
    bool known = false;        // has a value (possibly from the pass before)
    bool predefined = false;   // 8051/8052 name not (yet) redefined by the source
    bool redefinable = false;  // defined with SET
    bool bankRegister = false; // AR0-AR7: value follows USING
    bool referenced = false;
};

class SymbolTable {
public:
    SymbolTable();
    // The id of `name` (case-insensitive), creating an undefined entry.
    std::int32_t Intern(std::string_view name);
    // The id of `name` or -1.
    std::int32_t Find(std::string_view name) const;
    SymbolEntry& operator[](std::int32_t id) { return m_entries[static_cast<std::size_t>(id)]; }
    const SymbolEntry& operator[](std::int32_t id) const { return m_entries[static_cast<std::size_t>(id)]; }
    std::size_t size() const { return m_entries.size(); }
    // Turns the predefined register names off ($NOMOD51).
    void DropPredefined();

private:
    void Grow();
    std::vector<SymbolEntry> m_entries;
    std::vector<std::int32_t> m_slots;  // open addressing, -1 empty
};

struct Context {
    explicit Context(std::string_view source, const AssembleOptions& options);

    std::string_view source;
    const AssembleOptions& options;
    std::vector<Statement> statements;
    std::vector<Operand> operands;
    std::vector<ExprOp> exprOps;
    std::vector<std::uint8_t> bytes;  // every statement's emitted bytes, in order
    SymbolTable symbols;
    std::vector<AsmError> errors;
    std::vector<std::int32_t> evalStack;
    // The addresses written, 64 a word: empty stretches of the code space are
    // skipped by the image's summary and the HEX writer.
    std::vector<std::uint64_t> writtenBits = std::vector<std::uint64_t>(1024, 0);

    // Listing switches: line numbers (1-based) where $NOLIST / $LIST took effect.
    std::vector<std::pair<std::int32_t, bool>> listSwitches;

    // Pass state.
    std::uint32_t pc = 0;
    int bank = 0;
    bool reportErrors = false;  // only the code pass reports
    bool unknownSeen = false;   // an expression met a symbol without value
    std::int32_t currentLine = 0;

    // Records an error; its text is kept to kMessageChars, control bytes
    // written as \xNN.
    void Error(std::int32_t line, std::string message);
    static constexpr std::size_t kMessageChars = 300;
};

// Parses all lines into statements (Parser.cpp).
void ParseSource(Context& ctx);

// Parses `text` as one expression into ctx.exprOps; false (error reported on
// `line`) when it is not one.
bool ParseExpression(Context& ctx, std::string_view text, std::int32_t line, ExprRef& out);

// Evaluates an expression with the symbols' current values. Returns false when
// it cannot be evaluated: an undefined symbol or a division by zero (reported
// when ctx.reportErrors) or a symbol without value yet (ctx.unknownSeen).
bool Evaluate(Context& ctx, ExprRef expr, std::int32_t here, std::int32_t& value);

// Output writers (Output.cpp).
std::string MakeHex(const AssembleResult& r, const std::vector<std::uint64_t>& writtenBits);
std::string MakeListing(const Context& ctx, const AssembleResult& r);

// "0FFFFH" style hexadecimal: four digits and H.
std::string Hex4(std::uint32_t value);

} // namespace m51asm
