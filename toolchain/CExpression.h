#pragma once
// C expressions over a stopped program: what the Watch and Locals panes,
// hovers, break conditions, `m51sim --print` and test checks ask of a C
// program. An expression names variables of the program model (globals, the
// file's statics, the locals and parameters of the function at the stop),
// their fields, elements and what pointers point to, and may combine them
// with C's operators (`count > 5`, `result.max == 300`, `p->x != 0`).
//
// Values are read through MemoryAccess, so the same evaluation serves the
// debugger's core, a saved state and m51sim. Registers (R0..R7 of the bank
// PSW selects) and stack frames (SDCC's `_bp`) are worked out here from
// internal RAM. Errors are values: each call says why it could not answer.

#include "toolchain/Program.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace toolchain {

// The machine's memories as the evaluator reads and writes them: a byte of
// InternalRam (00H..FFH, indirect), Sfr (80H..FFH), ExternalRam, Code, or
// one bit (Storage::Bit, a bit address; the byte holds 0 or 1).
class MemoryAccess {
public:
    virtual ~MemoryAccess() = default;
    virtual std::optional<uint8_t> read(Storage space, uint32_t address) const = 0;
    // False when the memory cannot be written (code).
    virtual bool write(Storage space, uint32_t address, uint8_t value) = 0;
};

// Where the program stands: the locals of the function at `pc` are in
// scope. `frameBase` is the frame of that function when it is not the
// innermost one (a caller selected in the call stack); its locals kept in
// registers are then known only where its call saved them.
struct StopPlace {
    StopPlace() = default;
    StopPlace(uint16_t at, std::optional<uint8_t> base = std::nullopt, std::vector<std::pair<int, uint8_t>> saved = {})
        : pc(at), frameBase(base), savedRegisters(std::move(saved))
    {
    }

    uint16_t pc = 0;
    std::optional<uint8_t> frameBase;
    // A caller's frame: the registers its call saved on the stack (register
    // 0..7 of its bank, and the internal RAM byte keeping it); its locals in
    // those registers are read there.
    std::vector<std::pair<int, uint8_t>> savedRegisters;
};

// Where a value lives.
struct Location {
    Storage space = Storage::InternalRam;  // InternalRam, Sfr, ExternalRam, Code, Bit or Register
    uint32_t address = 0;                  // Register: unused
    std::vector<int> registers;            // Register: internal RAM addresses, least significant first
    int bitOffset = 0, bitWidth = 0;       // a bit field within the bytes
};

struct CValue {
    int type = -1;  // index into Program::types; -1 an untyped byte (an M51 or assembly name) or a number
    std::optional<Location> location;  // none: a computed value, not assignable
    // A computed value (operators, constants, names without a place).
    bool isFloat = false;
    int64_t integer = 0;
    double real = 0;
};

struct CResult {
    std::optional<CValue> value;
    std::string error;  // why there is no value
};

// How values are written: Plain as m51sim prints and tests check them
// (decimal, 0xHHHH pointers); Rich adds what a pane shows (a character,
// a pointer's memory, a summary of a structure).
enum class ValueStyle { Plain, Rich };

CResult Evaluate(std::string_view expression, const Program& program, const MemoryAccess& memory,
                 const StopPlace& place);

// A value as C reads it: "-70.625", "300", "1", "0x0123", "{x=1, y=2}", "[1, 2, 3]".
std::string FormatValue(const CValue& value, const Program& program, const MemoryAccess& memory,
                        ValueStyle style = ValueStyle::Plain);

// A value as a number (integers, floats, pointers as their address), for
// conditions and checks; nothing for structures and arrays.
std::optional<double> NumberOf(const CValue& value, const Program& program, const MemoryAccess& memory);

// The fields of a structure, the elements of an array (at most `limit`),
// or what a pointer points to ("*p").
std::vector<std::pair<std::string, CValue>> ChildrenOf(const CValue& value, const Program& program,
                                                        const MemoryAccess& memory, std::size_t limit = 256);
bool HasChildren(const CValue& value, const Program& program);

// Writes `text` (a C number or character constant) into the place of
// `value`; an empty answer when done, else why not.
std::string Assign(const CValue& value, std::string_view text, const Program& program, MemoryAccess& memory);

// The type's name as C writes it, "" for untyped values.
std::string TypeName(const CValue& value, const Program& program);

// The parameters and locals of the function holding `pc`, in the order
// the program declares them.
std::vector<const Symbol*> LocalsAt(const Program& program, uint16_t pc);

// The frame of the caller of the reentrant function whose frame is at
// `frameBase` (SDCC saves it at the frame's first byte).
std::optional<uint8_t> CallerFrame(uint8_t frameBase, const MemoryAccess& memory);

} // namespace toolchain
