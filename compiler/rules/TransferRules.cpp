// Data transfer: registers, special-function registers, external RAM, the data
// pointer, bank-1 count registers, buffers, direct addresses and the numbered
// variables of internal RAM.

#include "compiler/rules/Rules.h"

#include "compiler/Helpers.h"
#include "compiler/MyVision.h"
#include "common/PlainText.h"

#include <algorithm>
#include <cmath>

namespace m51::rules {

using namespace MyVision;

namespace {

// Characters 3 to 7 of w1: the register name after "RD" or "WR".
std::string_view SfrPart(const CompileContext& c)
{
    return Chars(c.W(1), 3, 7);
}

// Numbered variables: variable n lives at internal-RAM address 30h + n. Valid
// numbers are 0 to 207 (addresses up to FFh); numbers 80 and above are far
// (above 7Fh) and reached through R1.
enum class Variable { Near, Far, Binary, Above, Negative };

Variable Classify(std::string_view literal)
{
    if (!literal.empty() && UpperChar(literal.back()) == 'B')
        return Variable::Binary;
    if (UpperChar(literal.empty() ? ' ' : literal.back()) == 'H') {
        // The value as NumberValue reads it, but held at "too large" instead of
        // wrapping, so that a long literal cannot slip back into range.
        std::uint64_t value = 0;
        for (char ch : literal.substr(0, literal.size() - 1)) {
            value = value * 16 + static_cast<std::uint64_t>(std::max(0, m51::HexDigit(ch)));  // a bad digit counts as 0
            if (value > 207)
                return Variable::Above;
        }
        return value < 80 ? Variable::Near : Variable::Far;
    }
    const double value = std::trunc(TextToNumber(literal));
    if (std::isnan(value))
        return Variable::Near;
    if (value > 207)
        return Variable::Above;
    if (value < 0)
        return Variable::Negative;
    return value < 80 ? Variable::Near : Variable::Far;
}

std::string AddressText(std::string_view literal)
{
    return NormalizeNumber(OffsetNumber(literal, 48));
}

// The refusals write a line that the assembler rejects in place of the
// instruction, and an error entry. Returns false when the variable is refused.
bool AcceptVariable(CompileContext& c)
{
    const auto refuse = [&c](std::string_view line, ErrorKind kind, std::string_view entry) {
        c.MainLine = line;
        c.AddError(c.SourceLine, kind, entry);
        return false;
    };
    switch (Classify(c.W(2))) {
    case Variable::Binary:
        return refuse("ERORR - binary value", ErrorKind::BinaryVariable, "binary value");
    case Variable::Above:
        return refuse("ERROR - variable number above 207", ErrorKind::VariableAbove207, "variable number above 207");
    case Variable::Negative:
        return refuse("ERROR - negative variable number", ErrorKind::NegativeVariable, "negative variable number");
    default:
        return true;
    }
}

} // namespace

// RDxx where xx is no special-function register: "mov xx,A" from characters 3-4.
// Every exact RD keyword later in the chain replaces this line.
bool IsReadOfOtherPlace(const CompileContext& c)
{
    return Chars(c.W(1), 1, 2) == "RD" && c.W(1) != "RDADR" && !IsSfrName(Chars(c.W(1), 3, 12));
}

void ReadOtherPlace(CompileContext& c, const Rule&)
{
    c.MainLine = "mov " + std::string(Chars(c.W(1), 3, 4)) + ",A";
}

bool FirstTwoArePushA(const CompileContext& c)
{
    return c.FirstTwoWords == "PUSH A";
}

bool FirstTwoArePopA(const CompileContext& c)
{
    return c.FirstTwoWords == "POP A";
}

// WRRAM [value]: with a value, load it into A first, then write A at DPTR.
void WriteRam(CompileContext& c, const Rule&)
{
    if (c.W(2).empty()) {
        c.MainLine = "Movx @DPTR,A";
    } else {
        c.MainLine = "Mov A,#" + NormalizeNumber(c.W(2));
        c.LB.emplace_back("Movx @DPTR,A");
    }
}

// DPTR value [rest]: a blank and w3 always follow, also when w3 is empty.
void DataPointer(CompileContext& c, const Rule&)
{
    c.MainLine = "Mov DPTR,#" + NormalizeNumber(c.W(2)) + " " + c.W(3);
}

bool StartsCount(const CompileContext& c)
{
    return Chars(c.W(1), 1, 5) == "COUNT";
}

void LoadCount(CompileContext& c, const Rule&)
{
    ChooseCountRegister(c, DigitAt(c.W(1), 6));
    c.MainLine = "Mov " + c.CountRegister + ",#" + NormalizeNumber(c.W(2));
}

bool StartsWrCount(const CompileContext& c)
{
    return Chars(c.W(1), 1, 7) == "WRCOUNT";
}

void WriteCount(CompileContext& c, const Rule&)
{
    ChooseCountRegister(c, DigitAt(c.W(1), 8));
    c.MainLine = "Mov " + c.CountRegister + ",A";
}

bool StartsRdCount(const CompileContext& c)
{
    return Chars(c.W(1), 1, 7) == "RDCOUNT";
}

void ReadCount(CompileContext& c, const Rule&)
{
    ChooseCountRegister(c, DigitAt(c.W(1), 8));
    c.MainLine = "Mov A," + c.CountRegister;
}

bool StartsWrBuffer(const CompileContext& c)
{
    return Chars(c.W(1), 1, 8) == "WRBUFFER";
}

void WriteBuffer(CompileContext& c, const Rule&)
{
    ChooseBufferRegister(c, DigitAt(c.W(1), 9));
    if (c.W(2).empty())
        c.MainLine = "MOV " + c.BufferRegister + ",A";
    else
        c.MainLine = "MOV " + c.BufferRegister + ",#" + NormalizeNumber(c.W(2));
}

bool IsSfrRead(const CompileContext& c)
{
    return Chars(c.W(1), 1, 2) == "RD" && IsSfrName(SfrPart(c));
}

void ReadSfr(CompileContext& c, const Rule&)
{
    c.MainLine = "Mov A," + std::string(SfrPart(c));
}

bool IsSfrWrite(const CompileContext& c)
{
    return Chars(c.W(1), 1, 2) == "WR" && IsSfrName(SfrPart(c));
}

// WRsfr writes A; WRsfr value writes the value.
void WriteSfr(CompileContext& c, const Rule&)
{
    if (c.W(2).empty())
        c.MainLine = "Mov " + std::string(SfrPart(c)) + ",A";
    else
        c.MainLine = "Mov " + std::string(SfrPart(c)) + ",#" + NormalizeNumber(c.W(2));
}

void WriteAddress(CompileContext& c, const Rule&)
{
    if (c.W(3).empty())
        c.MainLine = "Mov " + NormalizeNumber(c.W(2)) + ",A";
    else
        c.MainLine = "Mov " + NormalizeNumber(c.W(2)) + ",#" + NormalizeNumber(c.W(3));
}

bool W3Empty(const CompileContext& c)
{
    return c.W(3).empty();
}

bool W3EmptyFar(const CompileContext& c)
{
    return c.W(3).empty() && Classify(c.W(2)) == Variable::Far;
}

bool W3Given(const CompileContext& c)
{
    return !c.W(3).empty();
}

bool W3GivenFar(const CompileContext& c)
{
    return !c.W(3).empty() && Classify(c.W(2)) == Variable::Far;
}

// WRMEM n / RDMEM n / WRMEM n value: the near forms address the variable
// directly; for a far variable the following entry replaces the line.
void WriteNearVariable(CompileContext& c, const Rule&)
{
    if (AcceptVariable(c))
        c.MainLine = "mov " + AddressText(c.W(2)) + ",A";
}

void WriteFarVariable(CompileContext& c, const Rule&)
{
    c.MainLine = "Mov R1,#" + AddressText(c.W(2));
    c.LB.emplace_back("Mov @R1,A");
}

void ReadNearVariable(CompileContext& c, const Rule&)
{
    if (AcceptVariable(c))
        c.MainLine = "mov A," + AddressText(c.W(2));
}

void ReadFarVariable(CompileContext& c, const Rule&)
{
    c.MainLine = "Mov R1,#" + AddressText(c.W(2));
    c.LB.emplace_back("Mov A,@R1");
}

void WriteNearValue(CompileContext& c, const Rule&)
{
    if (AcceptVariable(c))
        c.MainLine = "mov " + AddressText(c.W(2)) + ",#" + NormalizeNumber(c.W(3));
}

void WriteFarValue(CompileContext& c, const Rule&)
{
    c.MainLine = "Mov A,#" + NormalizeNumber(c.W(3));
    c.LB.push_back("Mov R1,#" + AddressText(c.W(2)));
    c.LB.emplace_back("Mov @R1,A");
}

} // namespace m51::rules
