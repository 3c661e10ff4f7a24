#pragma once
// SDCC leaves the debug records ("S:" lines of the module's .adb, and so of
// the program's .cdb) out for the locals and parameters of functions whose
// locals it overlays: functions that call no other, most of a program's small
// ones. Their registers and addresses are still known (the assembly's
// "Allocation info" comments, the linker's address records); their types
// are not. The same source compiled with --nooverlay writes those records;
// its code is the same, only its RAM layout differs. This takes the missing
// records from such a compile, so the debugger knows every local by name
// and C type.

#include <string>
#include <string_view>
#include <vector>

namespace sdcc {

// One local of SDCC's "Allocation info for local variables in function 'F'"
// comment: in registers ("r6 r7", none when SDCC keeps it nowhere) or at a
// named place.
struct LocalAllocation {
    std::string function;
    std::string name;
    bool inRegisters = false;
    std::vector<std::string> registers;  // as SDCC lists them, least significant first
};

std::vector<LocalAllocation> ReadLocalAllocations(std::string_view asmText);

// The records of `complete` (the .adb of the --nooverlay compile) for locals
// `allocations` names and `adb` has no record of, one a line; a register
// local only where both compiles put it in the same registers.
std::string MissingLocalRecords(std::string_view adb, std::string_view complete,
                                const std::vector<LocalAllocation>& allocations);

// Whether the module's assembly names locals `adb` has no record of.
bool LacksLocalRecords(std::string_view adb, const std::vector<LocalAllocation>& allocations);

} // namespace sdcc
