#pragma once
// The state of one assembly run, shared by the reader (includes, macros,
// conditionals), the parser, the layout and code passes and the output
// writers. Everything a run needs lives here; the statements keep views into
// the caller's source text, the include files and the macro expansions, all of
// which live as long as the run.

#include "assembler/Assembler.h"
#include "assembler/Characters.h"
#include "assembler/ObjectFile.h"
#include "assembler/Instructions.h"
#include "common/PlainText.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

// Parsing, listing and SplitLines all walk the source the one shared way
// (lines end at CR LF, LF or a lone CR; numbered from 1).
using m51::ForEachLine;

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
    bool isString = false;     // DB string: expr.first indexes Context::strings, the characters
                               // between the quotes (doubled quotes still doubled)
    ExprRef expr;
};

enum class Kind : std::uint8_t {
    Label,        // nothing but a label (or a line whose statement failed)
    Instruction,  // `form` indexes Forms(), or kGenericJmp / kGenericCall
    Org, Equ, Set, Bit, Data, IData, XData, Code, Db, Dw, Ds, Using, End,
    Segment,      // CSEG, DSEG, ISEG, BSEG, XSEG: `form` is the Segment, an AT address its operand
    Dbit,         // DBIT n: n bits of the bit segment
    Rseg,         // RSEG: `form` is the relocatable segment
};

// The absolute segments, each with its own location counter.
enum class Segment : std::uint8_t { Code, Data, IData, Bit, XData, Count };

struct Statement {
    std::int32_t line = 0;     // row (see Run): the 1-based number of the line read
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
    Segment segment = Segment::Code;
    bool longJump = false;     // generic JMP/CALL to a target not yet defined: always LJMP/LCALL
    std::int16_t rseg = -1;    // the relocatable segment it is in (a module's), -1 an absolute one
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
    // In a module: a label of relocatable segment `rseg` (its value the
    // offset in it, or its final address once placed), a name from another
    // module (`external`, number `externIndex`), or a name whose definition
    // uses such names (`derived`, that expression its `definition`).
    bool external = false;
    bool derived = false;
    std::int16_t rseg = -1;
    std::int32_t externIndex = -1;
    ExprRef definition;
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
    // Room for `count` names without the entries being moved or the slots
    // spread again as they come.
    void Reserve(std::size_t count);
    // Turns the predefined register names off ($NOMOD51) and on again ($MOD51).
    void DropPredefined();
    void RestorePredefined();

private:
    void Grow();
    void Spread(std::size_t slots);  // the slots made anew, `slots` of them (a power of two)
    std::vector<SymbolEntry> m_entries;
    std::vector<std::int32_t> m_slots;  // open addressing, -1 empty
};

// Every line read gets a row number, 1 up, in reading order: the lines of the
// source, of its include files and of macro expansions, interleaved as they
// were read. A run is a stretch of rows read one after another from one text;
// an origin says where that text came from.
struct Origin {
    std::int32_t parentRow = 0;  // the $INCLUDE line or the macro call; 0 for the source itself
    std::int32_t mainLine = 0;   // the line of the source that led here
    std::string_view macro;      // the macro (or REPT, IRP, IRPC) of an expansion; empty for a file
    std::uint8_t includeDepth = 0;
    std::uint8_t macroDepth = 0;
};

struct Run {
    std::int32_t firstRow = 0;
    std::int32_t origin = 0;
    std::int32_t file = 0;       // the file its lines are written in (a macro's: where it is defined)
    std::int32_t firstLine = 0;  // line number of the first row in that file
    std::string_view text;       // from the first row's line to the end of its text
};

struct SourceFile {
    std::string name;            // as errors show it
    std::unique_ptr<std::string> bytes;  // an include file's contents (the source is the caller's)
    std::string_view text;       // up to a Ctrl-Z
};

// A relocatable segment of a module (NAME SEGMENT TYPE [FLAGS]), in the
// order declared.
struct RelSegment {
    std::string_view name;
    Segment type = Segment::Code;
    std::uint8_t flags = 0;          // SegmentFlag
    std::int32_t row = 0;
    std::int32_t symbol = -1;        // its name, the address of its start
    std::uint32_t size = 0;          // bytes (bits) up to the highest offset reached
    std::uint32_t base = 0;          // placed: where the linker put it
    std::vector<std::uint8_t> bytes; // CODE: the code at its offsets
    std::vector<bool> written;       // which offsets the code wrote
};

// What the listing does from a row on.
enum class ListEvent : std::uint8_t { Off, On, Gen, NoGen, GenOnly, Eject };

struct Context {
    explicit Context(std::string_view source, const AssembleOptions& options);

    std::string_view source;
    const AssembleOptions& options;
    Dialect dialect = Dialect::Asm51;  // options.dialect, Auto resolved
    const DialectRules& rules;
    std::vector<Statement> statements;
    std::vector<Operand> operands;
    std::vector<ExprOp> exprOps;
    std::vector<std::uint8_t> bytes;  // every statement's emitted bytes, in order
    SymbolTable symbols;
    std::vector<AsmError> errors;
    std::vector<AsmError> warnings;
    // Past an expansion limit assembly stops: only the errors found up to it
    // (the limit's own the last) are reported, not those of the lines read before.
    std::optional<std::size_t> errorsAtStop;
    std::vector<std::int32_t> evalStack;
    // The addresses written, 64 a word: empty stretches of the code space are
    // skipped by the image's summary and the HEX writer.
    std::vector<std::uint64_t> writtenBits = std::vector<std::uint64_t>(1024, 0);

    // Rows and where they came from.
    std::vector<SourceFile> files;       // [0] the source
    std::vector<Origin> origins;         // [0] the source
    std::vector<Run> runs;
    std::deque<std::string> expansions;  // the text of every macro expansion, in chunks that never move
    std::vector<std::string_view> strings;  // DB strings
    std::deque<std::string> kept;           // text made while reading (a line with its #define names replaced ...)
    std::vector<std::string_view> operandTexts;  // the parser's scratch list
    std::int32_t rows = 0;
    std::size_t rowBytes = 0;  // the text of all rows, for the listing's size

    // Listing: its switches by row, title, symbol table and cross-reference.
    std::vector<std::pair<std::int32_t, ListEvent>> listSwitches;
    std::string title;
    std::string date;
    bool listSymbols = true;
    bool xref = false;
    std::vector<std::pair<std::int32_t, std::int32_t>> references;  // (symbol, row) with $XREF

    // The segment the parser is in (-1: an absolute one).
    Segment parseSegment = Segment::Code;
    std::int16_t parseRseg = -1;

    // Modules (options.module): the relocatable segments, the names PUBLIC
    // and EXTRN name, the fields left to the linker. `placed`: assembled
    // again at the addresses the linker gave (options.placement).
    bool modules = false;
    bool placed = false;
    std::vector<RelSegment> rsegs;
    std::vector<std::int32_t> externs;                     // symbol ids, in order
    std::vector<std::pair<std::int32_t, std::int32_t>> publics;  // (symbol, row)
    std::string_view moduleName;
    std::uint8_t banks = 0;                                // USING: bit n for bank n
    std::vector<ObjectFixup> fixups;                       // segment -1: absolute (offset the address)
    std::vector<ObjectSegment> absoluteData;               // DS/DBIT in absolute non-code segments
    // The location counters as far as they are fixed while the source is
    // read (from an absolute ORG or AT on, through statements of known size):
    // a label there has its address at once, for IF and EQU lines below it.
    std::uint32_t readPc[static_cast<int>(Segment::Count)] = {};
    bool readPcFixed[static_cast<int>(Segment::Count)] = {true, true, true, true, true};

    // Pass state.
    std::uint32_t pc = 0;
    int bank = 0;
    bool reportErrors = false;  // only the code pass reports
    bool unknownSeen = false;   // an expression met a symbol without value
    std::int32_t currentLine = 0;

    // Records an error; its text is kept to kMessageChars, control bytes
    // written as \xNN.
    void Error(std::int32_t row, std::string message);
    void Warning(std::int32_t row, std::string message);
    // Keeps `text` for the whole run and returns a view of it.
    std::string_view Keep(std::string text)
    {
        return kept.emplace_back(std::move(text));
    }
    static constexpr std::size_t kMessageChars = 300;

    // The run of a row, and where the row is written: "line 12" in the
    // source, "inc.a51:12" in another file.
    const Run& RunOf(std::int32_t row) const;
    std::int32_t FileLine(std::int32_t row) const;
    std::int32_t MainLine(std::int32_t row) const;
    std::string Where(std::int32_t row) const;
    // "included from a.a51:3", "in macro X, called on line 20" ..., the chain
    // up to the source; empty for a row of the source.
    std::string Chain(std::int32_t row) const;
};

// Reads the source with its include files, macros and conditionals and parses
// each line that remains (Reader.cpp); lines after END are not read.
void ReadSource(Context& ctx);

// Parses one line (its code, without comment and outer blanks) into at most
// one statement on `row`. Returns false after END.
bool ParseLine(Context& ctx, std::string_view code, std::int32_t row);

// Where the comment of a line starts (or its length): the first ";" outside
// quotes; with `escapes` a backslash in quotes keeps the next character in.
std::size_t CommentStart(std::string_view line, bool escapes = false);
std::string_view TrimBlanks(std::string_view s);

// Operands (Operands.cpp): the list split at the commas outside quotes and
// parentheses; the characters of a DB operand that is one whole string; the
// form of one operand (false, reported on `row`, when it is malformed).
void SplitOperands(std::string_view text, std::vector<std::string_view>& out, bool escapes = false);
bool WholeString(std::string_view op, std::string_view& inner, std::size_t& length);
bool ClassifyOperand(Context& ctx, std::string_view text, std::int32_t row, Operand& op);
// `s` in capitals is `upper`; the register of "R0".."R7" or -1.
inline bool EqualsUpper(std::string_view s, const char* upper)
{
    // Most words differ in their first letter: no length is taken first.
    std::size_t i = 0;
    for (; i < s.size(); ++i)
        if (upper[i] == 0 || Upper(s[i]) != upper[i])
            return false;
    return upper[i] == 0;
}
int RegisterNumber(std::string_view s);

// The character of a backslash escape (as31): \n \r \t \b \0, else the
// character itself.
char EscapedChar(char c);

// The value of a number token in the dialect's forms (Numbers.cpp); false
// with `problem` set when it is malformed or too large.
bool NumberValue(std::string_view t, std::int32_t& value, std::string& problem, const DialectRules& rules);

// Parses `text` as one expression into ctx.exprOps; false (error reported on
// `line`) when it is not one.
bool ParseExpression(Context& ctx, std::string_view text, std::int32_t line, ExprRef& out);

// Evaluates an expression with the symbols' current values. Returns false when
// it cannot be evaluated: an undefined symbol or a division by zero (reported
// when ctx.reportErrors) or a symbol without value yet (ctx.unknownSeen).
bool Evaluate(Context& ctx, ExprRef expr, std::int32_t here, std::int32_t& value);

// Modules (Module.cpp): whether an expression's value depends on where
// segments go (`inRseg`: $ is in a relocatable segment); the expression as
// object steps (names of this module's segments as segment addresses,
// external names by number, other names as their values); the object module
// of the run, after the code pass.
bool ModuleRelative(const Context& ctx, ExprRef expr, bool inRseg);
bool ObjectSteps(const Context& ctx, ExprRef expr, const Statement& st, std::vector<ObjectStep>& out, int depth = 0);
void MakeObject(Context& ctx, AssembleResult& r);

// Output writers (Output.cpp).
std::string MakeHex(const AssembleResult& r, const std::vector<std::uint64_t>& writtenBits);
std::string MakeListing(const Context& ctx, const AssembleResult& r);

// "0FFFFH" style hexadecimal: four digits and H.
std::string Hex4(std::uint32_t value);

} // namespace m51asm
