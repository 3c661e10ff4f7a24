#pragma once
// The program model: what a build knows about a program, whatever language it
// was written in. The debugger, its backends, the watches, the call stack,
// insight and m51sim read this and nothing else: none of them reads a source
// again. A new language adds one Build (see Build.h) that fills it.
//
// Source files are numbered (files[0] is the file that was built); line
// numbers in the model are 0-based like the editor's. The source map keeps
// two views of the code: the lines of the source files, several of them for
// one address where macros and inline blocks make code, and the lines of the
// generated assembly (for an assembly source, the source itself).

#include "common/Diagnostic.h"
#include "toolchain/SourceMap.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace toolchain {

using m51::Diagnostic;

enum class Language { M51, Assembly, Hex, C };

// Where a symbol lives; Constant names a number that has no place (DEFINE, EQU).
enum class Storage { InternalRam, Sfr, Bit, ExternalRam, Code, Register, StackRelative, Constant };

// How far a name is seen: the whole program, one file, one function, one block of it.
enum class Scope { Global, File, Function, Block };

struct Field {
    std::string name;
    int type = -1;      // index into Program::types
    int offset = 0;     // bytes from the start of the structure
    int bitOffset = 0;  // a bit field: its first bit and width (width 0: no bit field)
    int bitWidth = 0;
};

struct Type {
    enum class Kind { Void, Integer, Float, Pointer, Array, Struct, Union, Bit };
    Kind kind = Kind::Integer;
    std::string name;      // as the language writes it: "unsigned int", a structure's tag
    int size = 1;          // bytes
    bool isSigned = false; // Integer
    // Pointer: the memory it points into (generic: the pointer carries its space).
    Storage space = Storage::InternalRam;
    bool generic = false;
    int target = -1;       // Pointer: the type pointed to; Array: the element type
    int count = 0;         // Array: elements
    std::vector<Field> fields;  // Struct, Union
};

struct Symbol {
    std::string name;  // as written
    Scope scope = Scope::Global;
    Storage storage = Storage::Constant;
    // The address (a bit address for Bit, a register number for Register, an
    // offset from the frame for StackRelative) or the value of a Constant.
    int32_t address = 0;
    int type = -1;      // index into Program::types, -1 not known
    int file = -1;      // Scope::File: the file; else where it is defined (-1 not known)
    int function = -1;  // Scope::Function, Scope::Block: index into Program::functions
    int line = -1;      // 0-based line of its definition in `file`, -1 not known
    // Register: the registers of the bank holding it, least significant
    // first (`address` is the first of them).
    std::vector<int> registers;
};

// A function's stack frame: its locals are the symbols with its index.
struct Frame {
    int size = 0;  // bytes the function keeps on the stack besides its return address
};

struct Function {
    std::string name;
    uint16_t start = 0;  // entry address
    uint32_t end = 0;    // one past its last code byte (start when not known)
    int file = -1, line = -1;  // where it is defined (0-based line)
    int returnType = -1;
    Frame frame;
    int interrupt = -1;  // an interrupt handler: its number (0 external 0 ... 5 timer 2), else -1
};

// One address range made by one line of a source file.
struct LineRange {
    int file = 0;
    int line = 0;  // 0-based
    uint16_t address = 0;
    uint16_t size = 0;
};

// The assembly a compiler wrote for one source file of a program linked
// from several (SDCC's NAME.asm beside the object): the ASM window shows the
// one whose code holds the program counter.
struct ModuleAssembly {
    std::string path;  // the .asm file
    int file = -1;     // the source file it was made from (index into files), -1 not known
    std::string text;  // as the file holds it
    SourceMap map;     // its instructions by assembly line (no source lines)
};

struct SourceLine {
    int file = 0;
    int line = 0;
    bool operator==(const SourceLine&) const = default;
};

struct Program {
    Language language = Language::M51;
    bool ok = false;  // built without errors: the image can run
    std::vector<Diagnostic> diagnostics;

    std::vector<uint8_t> code;  // the 64 KB code memory image
    std::string hex;            // its Intel HEX text
    std::string assembly;       // the generated assembly (CR LF), or an assembly source
    std::string listing;
    std::string assemblyName;   // the file name the assembly's diagnostics carry

    std::vector<std::string> files;  // the source files, files[0] the one built
    std::vector<LineRange> lines;    // in address order of their making
    SourceMap map;                   // files[0]'s lines and the assembly's, by instruction

    std::vector<Type> types;
    std::vector<Symbol> symbols;
    std::vector<Function> functions;  // in address order
    std::vector<ModuleAssembly> moduleAssemblies;  // a C program's, one per compiled source

    // The source lines whose code covers `address` (several where a macro or
    // an inline block made it).
    std::vector<SourceLine> linesAt(uint16_t address) const;
    // The address ranges of one line, in address order.
    std::vector<std::pair<uint16_t, uint16_t>> rangesOf(int file, int line) const;
    // The function whose code holds `address`, if any.
    const Function* functionAt(uint16_t address) const;
    // The module assembly whose instructions hold `address`; none for code
    // no module lists (SDCC's library, start-up code).
    const ModuleAssembly* moduleAssemblyAt(uint16_t address) const;
    // A symbol by name (case-insensitive, as 8051 names are); global first.
    const Symbol* findSymbol(std::string_view name) const;
    // The code labels (name, address) in name order: the names of code
    // addresses for profiles and disassembly.
    std::vector<std::pair<std::string, uint16_t>> codeLabels() const;
};

// Fills `program.lines` from the source map's instructions (file 0).
void LinesFromMap(Program& program);
// Orders the functions by address and gives each the end where the next begins.
void CloseFunctions(Program& program, uint32_t codeEnd);

} // namespace toolchain
