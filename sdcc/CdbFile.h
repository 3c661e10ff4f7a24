#pragma once
// SDCC's debug information (the .cdb file that `sdcc --debug` writes beside
// the image) read into plain records. This is the one place that knows the
// file's syntax: modules, functions, symbols with their scope, storage and
// type chain, structure layouts, the linker's addresses and the C and
// assembly line records. A damaged file is an error naming its line, never a
// crash; what is read here is later placed into the program model.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sdcc {

// Where a symbol lives, by SDCC's one-letter address space codes.
enum class Space : char {
    ExternalStack = 'A',
    InternalStack = 'B',
    Code = 'C',
    CodeStatic = 'D',
    InternalLow = 'E',  // data: the lower 128 bytes
    External = 'F',     // xdata
    Internal = 'G',     // idata
    Bit = 'H',
    Sfr = 'I',
    Sbit = 'J',
    Register = 'R',
    Paged = 'P',        // pdata
    Undefined = 'Z',
};

// One link of a type chain, outermost first: "array of 4 of int" is
// {Array 4, Int}.
struct TypeLink {
    enum class Kind {
        Array, Function, GenericPointer, CodePointer, ExternalPointer, InternalPointer, PagedPointer,
        IdataPointer, Long, Int, Char, Short, Void, Float, Struct, Sbit, BitField, Fixed16x16, Bool,
    };
    Kind kind = Kind::Void;
    std::uint32_t count = 0;   // Array: elements
    std::string structName;    // Struct: the tag (or SDCC's made-up name of an anonymous one)
    int bitOffset = 0;         // BitField (and a __bit variable): first bit
    int bitWidth = 0;          // BitField: bits
};

struct Type {
    std::uint32_t size = 0;        // bytes of the whole object
    std::vector<TypeLink> chain;
    bool isSigned = false;         // of the innermost link
};

enum class ScopeKind { Global, File, Local, Structure };

struct Scope {
    ScopeKind kind = ScopeKind::Global;
    std::string module;    // File: the module; Local: the module of the function where the record names it
    std::string function;  // Local
};

struct Symbol {
    Scope scope;
    std::string name;
    int level = 0;
    int subLevel = 0;
    int block = 0;
    Type type;
    Space space = Space::Undefined;
    bool onStack = false;
    int stackOffset = 0;
    std::vector<std::string> registers;  // Space::Register: least significant first, as SDCC writes them
};

struct Function {
    Symbol symbol;
    bool isInterrupt = false;
    int interruptNumber = 0;
    int registerBank = 0;
};

struct Member {
    std::uint32_t offset = 0;
    Symbol symbol;
};

struct Structure {
    Scope scope;
    std::string name;
    std::vector<Member> members;
};

// A linker record giving a symbol's address (or, for a function, the address
// of its last byte when `isEnd`).
struct SymbolAddress {
    Scope scope;
    std::string name;
    int level = 0;
    int block = 0;
    std::uint32_t address = 0;
    bool isEnd = false;
};

struct CLine {
    std::string file;
    int line = 0;
    int level = 0;
    int block = 0;
    std::uint32_t address = 0;
};

struct AsmLine {
    std::string module;
    int line = 0;
    std::uint32_t address = 0;
};

struct CdbFile {
    std::vector<std::string> modules;
    std::vector<Function> functions;
    std::vector<Symbol> symbols;
    std::vector<Structure> structures;
    std::vector<SymbolAddress> addresses;
    std::vector<CLine> cLines;
    std::vector<AsmLine> asmLines;
};

struct CdbError {
    int line = 0;  // 1-based line of the .cdb file
    std::string message;
};

struct CdbReadResult {
    CdbFile file;
    std::optional<CdbError> error;  // set: the file is damaged; `file` holds what came before the line
};

// SDCC's .cdb leaves out the addresses of `__bit` variables; a module's
// relocated listing (.rst) has them, on its "G$flag$0_0$0==." lines. Adds
// those of `file`'s symbols that have no address yet.
void AddListingAddresses(std::string_view rst, CdbFile& file);

// The text of a .cdb file. Records of kinds this reader does not know are
// skipped (later SDCC versions add some); a known record that does not parse
// is an error. Lines longer than `maxLineLength` are refused.
CdbReadResult ReadCdb(std::string_view text, std::size_t maxLineLength = 1 << 20);

// The type as C writes it, for messages and the debugger's type column:
// "unsigned char", "int [4]", "struct point", "__xdata char *".
std::string DescribeType(const Type& type);

} // namespace sdcc
