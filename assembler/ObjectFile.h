#pragma once
// An assembled module: what `m51as -c` writes and the linker (Linker.h)
// reads. A module keeps its relocatable segments unplaced (their bytes made
// as if each started at 0), its absolute pieces where they stand, the names
// it defines and those it needs from other modules, and a fixup for every
// field whose value depends on where segments go: the field's expression in
// postfix steps, evaluated by the linker with the final addresses.
//
// The object file is text, one record a line (LF or CR LF), fields split by
// single blanks; names are written as in the source (code page 1250 bytes,
// no blanks or control characters). Version 1:
//
//   M51OBJ 1                                   the first line: magic and version
//   module NAME                                NAME directive, else the file's name
//   source FILE                                the source it was assembled from
//   banks MASK                                 register banks USING named (bit n: bank n)
//   segment NAME TYPE SIZE LINE [FLAG...]      relocatable: TYPE CODE DATA IDATA BIT XDATA;
//                                              FLAG INPAGE INBLOCK PAGE BITADDRESSABLE OVERLAYABLE
//   absolute TYPE ADDRESS SIZE LINE            an absolute piece (CSEG AT ..., DSEG AT ...)
//   bytes SEGMENT OFFSET HEX                   code bytes of segment number SEGMENT (0-based,
//                                              in the order of the segment/absolute records);
//                                              bytes of no record are room (DS), not code
//   extern NAME KIND LINE                      a name from another module (EXTRN)
//   public NAME KIND LINE STEP...              a name other modules may use (PUBLIC)
//   local NAME KIND LINE STEP...               a name of this module only (for maps and debuggers)
//   fixup SEGMENT OFFSET FIELD NEXT LINE STEP...   a field to fill in when linking
//   end
//
// KIND is C D I X B N R (code, data, idata, xdata, bit, number, register).
// FIELD is BYTE (-256..255), DATA (a data address 0..0FFH), BIT (a bit
// address), WORD (16 bits, high byte first), REL (a relative jump's target,
// NEXT the offset of the next instruction), ADDR11 (AJMP/ACALL: the
// opcode's top bits and the next byte, the target in the 2 KB block of NEXT).
// A STEP is #VALUE (a number, decimal), @SEGMENT:OFFSET (an address in a
// segment of this module), $EXTERN (the value of extern number EXTERN) or
// an operator word: NEG NOT HIGH LOW + - * / MOD AND OR XOR SHL SHR EQ NE LT
// LE GT GE BITOF (the last: byte address . bit number).

#include "assembler/Assembler.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

// One step of an expression in postfix order.
enum class Op : std::uint8_t {
    Number,  // push value
    Symbol,  // push the value of symbol `value` (in a module: extern number `value`)
    Here,    // push the address of the current statement ($; in a module: `segment`:`value`)
    Neg, Not, High, Low,
    Add, Sub, Mul, Div, Mod, And, Or, Xor, Shl, Shr,
    Eq, Ne, Lt, Le, Gt, Ge,  // relations: all ones when true, 0 when false
    BitOf,   // byte address . bit number
};

// The value space a segment is in.
enum class SegmentType : std::uint8_t { Code, Data, IData, Bit, XData };

// How a relocatable segment may be placed.
enum SegmentFlag : std::uint8_t {
    kInPage = 1,          // within one 256-byte page
    kInBlock = 2,         // within one 2 KB block (AJMP/ACALL reach)
    kPage = 4,            // starting at a page boundary
    kBitAddressable = 8,  // DATA in 20H-2FH, its bits addressable
    kOverlayable = 16,    // shares its room with the segments of its name in other modules
};

struct ObjectStep {
    Op op = Op::Number;
    std::int32_t value = 0;    // number, extern number or offset
    std::int32_t segment = 0;  // Here: the segment of this module
    friend bool operator==(const ObjectStep&, const ObjectStep&) = default;
};

struct ObjectSegment {
    std::string name;  // empty for an absolute piece
    SegmentType type = SegmentType::Code;
    std::uint8_t flags = 0;
    bool absolute = false;
    std::uint32_t address = 0;  // absolute pieces: where they stand
    std::uint32_t size = 0;     // bytes, bits in BIT segments
    int line = 0;
    std::vector<std::uint8_t> bytes;  // CODE: `size` bytes; other types: none
    std::vector<bool> written;        // which of them the code wrote (not DS room)
    friend bool operator==(const ObjectSegment&, const ObjectSegment&) = default;
};

struct ObjectSymbol {
    std::string name;
    SymbolKind kind = SymbolKind::Code;
    int line = 0;
    bool isPublic = false;
    std::vector<ObjectStep> steps;  // its value
    friend bool operator==(const ObjectSymbol&, const ObjectSymbol&) = default;
};

struct ObjectExtern {
    std::string name;
    SymbolKind kind = SymbolKind::Code;
    int line = 0;
    friend bool operator==(const ObjectExtern&, const ObjectExtern&) = default;
};

enum class FieldKind : std::uint8_t { Byte, Data, Bit, Word, Rel, Addr11 };

struct ObjectFixup {
    std::int32_t segment = 0;
    std::uint32_t offset = 0;  // the first byte of the field
    FieldKind field = FieldKind::Byte;
    std::uint32_t next = 0;    // REL and ADDR11: offset of the next instruction
    int line = 0;
    std::vector<ObjectStep> steps;
    friend bool operator==(const ObjectFixup&, const ObjectFixup&) = default;
};

struct ObjectModule {
    std::string name;
    std::string source;
    std::uint8_t banks = 0;
    std::vector<ObjectSegment> segments;
    std::vector<ObjectExtern> externs;
    std::vector<ObjectSymbol> symbols;
    std::vector<ObjectFixup> fixups;
    friend bool operator==(const ObjectModule&, const ObjectModule&) = default;
};

// The text of an object file.
std::string WriteObject(const ObjectModule& module);

// Reads an object file. Never throws on any input: a malformed file gives
// false with `error` "line N: what is wrong". Bounded: at most 64 KB of
// bytes a segment and 64 MB of segments in all, 2^20 records of each kind, 256 steps an
// expression.
bool ReadObject(std::string_view text, ObjectModule& module, std::string& error);

// The first line of every object file, for telling objects from sources.
inline constexpr std::string_view kObjectMagic = "M51OBJ";

} // namespace m51asm
