#pragma once
// Watches by M51 name: what a watch expression names in the machine and its
// value in the four forms the watch list shows. An expression is a name of
// the source (DEFINE, DEFINEBIT), a buffer (BUFFER1-BUFFER9, RAM 10H-18H), a
// loop counter (COUNT1-COUNT8, RAM 08H-0FH), a numbered variable (MEM5, RAM
// 35H), a register (A, B, PSW, SP, DPTR, PC, R0-R7 of the current bank, P0-P3
// and the other SFR names), or iram[ADDR], xram[ADDR], sfr[ADDR], code[ADDR]
// with ADDR hexadecimal or a DEFINE name. Plain C++, no Qt.

#include "toolchain/Program.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace m51dbg {

enum class WatchSpace { Iram, Sfr, Xram, Code };

struct WatchTarget {
    enum class Kind { Byte, Bit, Word, Register, Constant, Pc };
    Kind kind = Kind::Byte;
    WatchSpace space = WatchSpace::Iram;
    unsigned address = 0;  // Byte, Word (high byte first at address, low at address2); Bit: the bit address
    unsigned address2 = 0;
    unsigned reg = 0;      // Register: R0-R7 of the bank PSW selects
    long value = 0;        // Constant
    bool writable() const { return kind != Kind::Constant && kind != Kind::Pc && !(kind == Kind::Byte && space == WatchSpace::Code); }
    bool operator==(const WatchTarget&) const = default;
};

// The names a program defines: constants (DEFINE NAME VALUE, also usable as
// an address in iram[NAME]) and bits (DEFINEBIT NAME BIT: P1.0, 20H.1, TR0 ...).
using SourceNames = std::map<std::string, WatchTarget>;  // upper-case names
// The program's global constants and bits, from the program model.
SourceNames NamesOf(const toolchain::Program& program);
// The DEFINE and DEFINEBIT names of an M51 source, as the compiler finds them.
SourceNames CollectSourceNames(const std::string& m51Source);

struct WatchParse {
    std::optional<WatchTarget> target;
    std::string error;
};
WatchParse ParseWatch(const std::string& expression, const SourceNames& names);

// Reads a byte of the machine: iram 00-FFH, sfr 80-FFH, xram, code.
using ByteReader = std::function<uint8_t(WatchSpace, unsigned)>;
using ByteWriter = std::function<void(WatchSpace, unsigned, uint8_t)>;

// The value: a byte, a bit (0/1), a word (DPTR), the PC or the constant.
long ReadWatch(const WatchTarget& target, const ByteReader& read, uint16_t pc);
// Writes `value` where the watch points (a bit: 0 or not), read-modify-write for bits.
bool WriteWatch(const WatchTarget& target, long value, const ByteReader& read, const ByteWriter& write);

enum class WatchFormat { Hex, Decimal, Binary, Char };
// "2CH", "44", "00101100", "','" (bits as 0/1; words as 4 hex digits, 16 binary digits).
std::string FormatWatch(const WatchTarget& target, long value, WatchFormat format);
// A value typed by the user: decimal, hexadecimal with H (0FFH) or 0x, binary with B, or 'c'.
std::optional<long> ParseWatchValue(const std::string& text);
// A value typed into a column of the watch list: plain digits are read in the
// column's base (52 in the Hex column is 52H, 101 in Binary is 5), a single
// character in the Char column is its code; marked values (0FFH, 1010B, 'A')
// mean what they say in every column.
std::optional<long> ParseWatchValue(const std::string& text, WatchFormat column);

} // namespace m51dbg
