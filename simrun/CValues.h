#pragma once
// The C values m51sim prints (--print total, result.count, history[3], p->x)
// and firmware tests check (check total = 300): C expressions evaluated on
// the simulator core at the stop, with the locals of the function there,
// and written as C reads them.

#include "toolchain/CExpression.h"
#include "toolchain/Program.h"

#include "sim/Machine.h"
#include "simrun/MachineMemory.h"

#include <string>
#include <string_view>

namespace m51sim {

// The core's memories as the C evaluator reads and writes them.
using MachineMemory = m51dbg::MachineMemory;

// "NAME=VALUE" for `--print NAME`, or the reason it has no value in `error`.
std::string PrintCValue(std::string_view expression, const toolchain::Program& program, sim::Machine& machine,
                        std::string& error);

// True when `name`, which also names a register (a, r7, dpl), is written
// exactly as a variable of the C program that is not an SFR: `--print a`
// then prints the variable in scope rather than the accumulator.
bool NamesCVariable(const toolchain::Program& program, std::string_view name);

// Compares the value of `expression` with `expected` as a test writes it: a
// number (decimal, 0x hexadecimal, a float, a character constant) compared
// as a number, anything else with the value's text ({x=1, y=2}). Empty when
// they agree, else "NAME is VALUE, expected EXPECTED" or why it has no value.
std::string CheckCValue(std::string_view expression, std::string_view expected, const toolchain::Program& program,
                        sim::Machine& machine);

} // namespace m51sim
