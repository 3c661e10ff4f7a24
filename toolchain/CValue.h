#pragma once
// The reading and writing of C values in the machine's memories, shared by
// the expression evaluator (CExpression.cpp) and the formatting of values
// (CValue.cpp). Internal to the toolchain library.

#include "toolchain/CExpression.h"

namespace toolchain::cvalue {

const Type* typeOf(const CValue& value, const Program& program);
int sizeOf(const CValue& value, const Program& program);

// The bytes of a located scalar, least significant first; nothing when a
// byte cannot be read.
std::optional<uint64_t> loadBits(const CValue& value, const Program& program, const MemoryAccess& memory);

// A scalar as a number: integers with their signedness, floats, bits,
// pointers as their address.
std::optional<double> loadNumber(const CValue& value, const Program& program, const MemoryAccess& memory);
std::optional<int64_t> loadInteger(const CValue& value, const Program& program, const MemoryAccess& memory);

// What a pointer value points to: its memory and address.
std::optional<Location> pointee(const CValue& pointer, const Program& program, const MemoryAccess& memory);

// The place `offset` bytes into a located value.
Location offsetBy(const Location& location, int offset);

} // namespace toolchain::cvalue
