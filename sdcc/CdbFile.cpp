#include "sdcc/CdbFile.h"

#include <algorithm>
#include <charconv>

namespace sdcc {
namespace {

// Reading position in one record; every reader returns false where the text
// does not have the expected form, and `fault` says what was expected.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }
    bool expect(char c, const char* what)
    {
        if (take(c))
            return true;
        return fail(what);
    }
    // The text up to (not including) the first of `stops`, or to the end.
    std::string_view until(std::string_view stops)
    {
        const std::size_t start = pos_;
        while (!atEnd() && stops.find(text_[pos_]) == std::string_view::npos)
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    bool decimal(int& value, const char* what)
    {
        std::uint32_t magnitude = 0;
        const bool negative = take('-');
        if (!unsignedNumber(magnitude, 10, what))
            return false;
        if (magnitude > 0x7FFFFFFF)
            return fail(what);
        value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
        return true;
    }
    bool unsignedNumber(std::uint32_t& value, int base, const char* what)
    {
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        const auto [end, error] = std::from_chars(first, last, value, base);
        if (error != std::errc() || end == first)
            return fail(what);
        pos_ += static_cast<std::size_t>(end - first);
        return true;
    }
    bool fail(const char* what)
    {
        if (fault_.empty())
            fault_ = std::string("expected ") + what + " at column " + std::to_string(pos_ + 1);
        return false;
    }
    const std::string& fault() const { return fault_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::string fault_;
};

bool readScope(Cursor& in, Scope& scope)
{
    const char kind = in.peek();
    if (!in.take('G') && !in.take('F') && !in.take('L') && !in.take('S'))
        return in.fail("a scope (G, F, L or S)");
    if (kind == 'G') {
        scope.kind = ScopeKind::Global;
    } else if (kind == 'S') {
        scope.kind = ScopeKind::Structure;
    } else if (kind == 'F') {
        scope.kind = ScopeKind::File;
        scope.module = std::string(in.until("$"));
    } else {
        scope.kind = ScopeKind::Local;
        const std::string_view owner = in.until("$");
        const std::size_t dot = owner.rfind('.');
        scope.function = std::string(dot == std::string_view::npos ? owner : owner.substr(dot + 1));
        if (dot != std::string_view::npos)
            scope.module = std::string(owner.substr(0, dot));
    }
    return in.expect('$', "'$' after the scope");
}

// "1_0" (level and sub-level) or "1".
bool readLevel(Cursor& in, int& level, int& subLevel)
{
    subLevel = 0;
    if (!in.decimal(level, "a scope level"))
        return false;
    return !in.take('_') || in.decimal(subLevel, "a scope sub-level");
}

bool readLink(Cursor& in, TypeLink& link)
{
    using K = TypeLink::Kind;
    const char group = in.peek();
    if (!in.take('D') && !in.take('S'))
        return in.fail("a type code (D.. or S..)");
    const char code = in.peek();
    if (in.atEnd())
        return in.fail("a type code");
    in.take(code);
    if (group == 'D') {
        switch (code) {
        case 'A':
            link.kind = K::Array;
            if (!in.unsignedNumber(link.count, 10, "an array length"))
                return false;
            in.take('d');
            return true;
        case 'F': link.kind = K::Function; return true;
        case 'G': link.kind = K::GenericPointer; return true;
        case 'C': link.kind = K::CodePointer; return true;
        case 'X': link.kind = K::ExternalPointer; return true;
        case 'D': link.kind = K::InternalPointer; return true;
        case 'P': link.kind = K::PagedPointer; return true;
        case 'I': link.kind = K::IdataPointer; return true;
        default: return in.fail("a declarator code (DA, DF, DG, DC, DX, DD, DP or DI)");
        }
    }
    switch (code) {
    case 'L': link.kind = K::Long; return true;
    case 'I': link.kind = K::Int; return true;
    case 'C': link.kind = K::Char; return true;
    case 'S': link.kind = K::Short; return true;
    case 'V': link.kind = K::Void; return true;
    case 'F': link.kind = K::Float; return true;
    case 'X': link.kind = K::Sbit; return true;
    case 'Q': link.kind = K::Fixed16x16; return true;
    case 'H': link.kind = K::Bool; return true;
    case 'T':
        link.kind = K::Struct;
        link.structName = std::string(in.until(",:)"));
        return !link.structName.empty() || in.fail("a structure name");
    case 'B':
        link.kind = K::BitField;
        return in.decimal(link.bitOffset, "a bit-field offset") && in.expect('$', "'$' in a bit-field")
            && in.decimal(link.bitWidth, "a bit-field width");
    default: return in.fail("a specifier code (SL, SI, SC, SS, SV, SF, ST, SX or SB)");
    }
}

// "({size}LINK,LINK...:S)"
bool readType(Cursor& in, Type& type)
{
    if (!in.expect('(', "'(' before a type") || !in.expect('{', "'{' before a type's size")
        || !in.unsignedNumber(type.size, 10, "a type's size") || !in.expect('}', "'}' after a type's size"))
        return false;
    do {
        if (type.chain.size() >= 64)
            return in.fail("a type chain of at most 64 links");
        TypeLink link;
        if (!readLink(in, link))
            return false;
        type.chain.push_back(std::move(link));
    } while (in.take(','));
    if (!in.expect(':', "':' before a type's sign"))
        return false;
    if (in.take('S'))
        type.isSigned = true;
    else if (!in.take('U'))
        return in.fail("a sign (S or U)");
    return in.expect(')', "')' after a type");
}

bool readSpace(Cursor& in, Space& space)
{
    static constexpr std::string_view kSpaces = "ABCDEFGHIJRPZ";
    const char code = in.peek();
    if (code == '\0' || kSpaces.find(code) == std::string_view::npos)
        return in.fail("an address space code");
    in.take(code);
    space = static_cast<Space>(code);
    return true;
}

// SCOPE$NAME$LEVEL$BLOCK(TYPE),SPACE,ONSTACK,OFFSET
bool readSymbol(Cursor& in, Symbol& symbol)
{
    int onStack = 0;
    if (!readScope(in, symbol.scope))
        return false;
    symbol.name = std::string(in.until("$"));
    if (symbol.name.empty())
        return in.fail("a symbol name");
    return in.expect('$', "'$' after the name") && readLevel(in, symbol.level, symbol.subLevel)
        && in.expect('$', "'$' after the level") && in.decimal(symbol.block, "a block number") && readType(in, symbol.type)
        && in.expect(',', "',' before the address space") && readSpace(in, symbol.space)
        && in.expect(',', "',' before the stack flag") && in.decimal(onStack, "the stack flag")
        && (symbol.onStack = onStack != 0, in.expect(',', "',' before the stack offset"))
        && in.decimal(symbol.stackOffset, "the stack offset");
}

// ",[r6,r7]" after a symbol in registers.
bool readRegisters(Cursor& in, Symbol& symbol)
{
    if (!in.take(','))
        return true;
    if (!in.expect('[', "'[' before the registers"))
        return false;
    if (in.take(']'))
        return true;  // kept in no register: optimised away
    do {
        const std::string_view name = in.until(",]");
        if (name.empty() || symbol.registers.size() >= 8)
            return in.fail("a register name");
        symbol.registers.emplace_back(name);
    } while (in.take(','));
    return in.expect(']', "']' after the registers");
}

bool readFunction(Cursor& in, Function& function)
{
    int interrupt = 0;
    return readSymbol(in, function.symbol) && in.expect(',', "',' before the interrupt flag")
        && in.decimal(interrupt, "the interrupt flag") && (function.isInterrupt = interrupt != 0, true)
        && in.expect(',', "',' before the interrupt number") && in.decimal(function.interruptNumber, "the interrupt number")
        && in.expect(',', "',' before the register bank") && in.decimal(function.registerBank, "the register bank");
}

// SCOPE$NAME[({OFFSET}S:SYMBOL)...]
bool readStructure(Cursor& in, Structure& structure)
{
    if (!readScope(in, structure.scope))
        return false;
    structure.name = std::string(in.until("["));
    if (structure.name.empty() || !in.expect('[', "'[' before the members"))
        return in.fail("a structure name and '['");
    while (in.take('(')) {
        Member member;
        if (!in.expect('{', "'{' before a member's offset") || !in.unsignedNumber(member.offset, 10, "a member's offset")
            || !in.expect('}', "'}' after a member's offset") || !in.expect('S', "'S:' before a member")
            || !in.expect(':', "'S:' before a member") || !readSymbol(in, member.symbol)
            || !in.expect(')', "')' after a member"))
            return false;
        structure.members.push_back(std::move(member));
    }
    return in.expect(']', "']' after the members");
}

bool readAddress(Cursor& in, std::uint32_t& address)
{
    return in.expect(':', "':' before the address") && in.unsignedNumber(address, 16, "a hexadecimal address");
}

// L:... records: A$MODULE$LINE:ADDR, C$FILE$LINE$LEVEL$BLOCK:ADDR, [X]SCOPE$NAME$LEVEL$BLOCK:ADDR.
bool readLinker(Cursor& in, CdbFile& file)
{
    int subLevel = 0;
    if (in.take('A')) {
        AsmLine line;
        return in.expect('$', "'$' after A") && (line.module = std::string(in.until("$")), in.expect('$', "'$' after the module"))
            && in.decimal(line.line, "a line number") && readAddress(in, line.address)
            && (file.asmLines.push_back(std::move(line)), true);
    }
    if (in.take('C')) {
        CLine line;
        return in.expect('$', "'$' after C") && (line.file = std::string(in.until("$")), in.expect('$', "'$' after the file"))
            && in.decimal(line.line, "a line number") && in.expect('$', "'$' after the line")
            && readLevel(in, line.level, subLevel) && in.expect('$', "'$' after the level")
            && in.decimal(line.block, "a block number") && readAddress(in, line.address)
            && (file.cLines.push_back(std::move(line)), true);
    }
    SymbolAddress address;
    address.isEnd = in.take('X');
    address.name.clear();
    if (!readScope(in, address.scope))
        return false;
    address.name = std::string(in.until("$"));
    return !address.name.empty() && in.expect('$', "'$' after the name") && readLevel(in, address.level, subLevel)
        && in.expect('$', "'$' after the level") && in.decimal(address.block, "a block number")
        && readAddress(in, address.address) && (file.addresses.push_back(std::move(address)), true);
}

bool readRecord(std::string_view line, CdbFile& file, std::string& fault)
{
    Cursor in(line.substr(2));
    bool ok = true;
    switch (line[0]) {
    case 'M':
        if (line.size() == 2) {
            fault = "a module record without a name";
            return false;
        }
        file.modules.emplace_back(line.substr(2));
        return true;
    case 'S': {
        Symbol symbol;
        ok = readSymbol(in, symbol) && readRegisters(in, symbol);
        if (ok)
            file.symbols.push_back(std::move(symbol));
        break;
    }
    case 'F': {
        Function function;
        ok = readFunction(in, function);
        if (ok)
            file.functions.push_back(std::move(function));
        break;
    }
    case 'T': {
        Structure structure;
        ok = readStructure(in, structure);
        if (ok)
            file.structures.push_back(std::move(structure));
        break;
    }
    case 'L': ok = readLinker(in, file); break;
    default: return true;
    }
    if (ok && !in.atEnd())
        ok = in.fail("the end of the record");
    if (!ok)
        fault = in.fault().empty() ? "a record that does not parse" : in.fault();
    return ok;
}

const char* baseName(TypeLink::Kind kind)
{
    using K = TypeLink::Kind;
    switch (kind) {
    case K::Long: return "long";
    case K::Int: return "int";
    case K::Char: return "char";
    case K::Short: return "short";
    case K::Float: return "float";
    case K::Sbit: return "__sbit";
    case K::Fixed16x16: return "__fixed16x16";
    case K::Bool: return "_Bool";
    case K::BitField: return "bit-field";
    default: return "void";
    }
}

} // namespace

CdbReadResult ReadCdb(std::string_view text, std::size_t maxLineLength)
{
    CdbReadResult result;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.size() > maxLineLength) {
            result.error = CdbError{number, "a line of more than " + std::to_string(maxLineLength) + " characters"};
            return result;
        }
        if (line.size() < 2 || line[1] != ':') {
            result.error = CdbError{number, "not a record (expected a letter and ':')"};
            return result;
        }
        std::string fault;
        if (!readRecord(line, result.file, fault)) {
            result.error = CdbError{number, fault};
            return result;
        }
    }
    return result;
}

void AddListingAddresses(std::string_view rst, CdbFile& file)
{
    auto known = [&](const SymbolAddress& a) {
        return std::any_of(file.addresses.begin(), file.addresses.end(), [&](const SymbolAddress& b) {
            return !b.isEnd && b.name == a.name && b.block == a.block && b.scope.kind == a.scope.kind
                && b.scope.module == a.scope.module && b.scope.function == a.scope.function;
        });
    };
    while (!rst.empty()) {
        const std::size_t end = rst.find('\n');
        std::string_view line = rst.substr(0, end);
        rst = end == std::string_view::npos ? std::string_view() : rst.substr(end + 1);
        const std::size_t mark = line.find("==.");
        const std::size_t first = line.find_first_not_of(" \t");
        if (mark == std::string_view::npos || first == std::string_view::npos || line.size() > 4096)
            continue;
        const std::size_t keyStart = line.find_last_of(" \t", mark) + 1;
        const std::string_view key = line.substr(keyStart, mark - keyStart);
        const std::string_view address = line.substr(first, line.find_first_of(" \t", first) - first);
        if (key.size() < 3 || (key[0] != 'G' && key[0] != 'F' && key[0] != 'L') || key[1] != '$'
            || address.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos)
            continue;
        CdbFile one;
        std::string fault;
        if (!readRecord("L:" + std::string(key) + ":" + std::string(address), one, fault) || one.addresses.empty())
            continue;
        if (!known(one.addresses.front()))
            file.addresses.push_back(std::move(one.addresses.front()));
    }
}

std::string DescribeType(const Type& type)
{
    using K = TypeLink::Kind;
    if (type.chain.empty())
        return "void";
    const TypeLink& base = type.chain.back();
    std::string text;
    if (base.kind == K::Struct) {
        text = "struct " + base.structName;
    } else {
        const bool integer = base.kind == K::Long || base.kind == K::Int || base.kind == K::Char || base.kind == K::Short;
        if (integer && !type.isSigned)
            text = "unsigned ";
        // SDCC writes long long as a "long" or "int" eight bytes wide.
        const bool wide = integer && type.chain.size() == 1 && type.size == 8;
        text += wide ? "long long" : baseName(base.kind);
        if (base.kind == K::BitField)
            text = std::string(type.isSigned ? "int" : "unsigned int") + " : " + std::to_string(base.bitWidth);
    }
    std::string suffix;
    for (std::size_t i = type.chain.size() - 1; i-- > 0;) {
        const TypeLink& link = type.chain[i];
        switch (link.kind) {
        case K::Array: suffix = " [" + std::to_string(link.count) + "]" + suffix; break;
        case K::Function: text += " ()"; break;
        case K::GenericPointer: text += " *"; break;
        case K::CodePointer: text = "__code " + text + " *"; break;
        case K::ExternalPointer: text = "__xdata " + text + " *"; break;
        case K::InternalPointer: text = "__data " + text + " *"; break;
        case K::PagedPointer: text = "__pdata " + text + " *"; break;
        case K::IdataPointer: text = "__idata " + text + " *"; break;
        default: break;
        }
    }
    return text + suffix;
}

} // namespace sdcc
