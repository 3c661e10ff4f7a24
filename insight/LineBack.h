#pragma once
// Stepping back a line over a recorded run: the step at which the line run
// before began (or, in the middle of a line, this one). As stepping over a
// line, calls and interrupt handlers count as part of the line they came
// from: the call depth is followed back through calls, returns and interrupt
// entries. Zelvar's debugger and m51sim's debug adapter step back through here.

#include "insight/History.h"

#include "toolchain/LineTable.h"
#include "toolchain/SourceMap.h"

#include <cstdint>
#include <optional>

namespace insight {

// `lines` and `map` are the program's source lines and assembly lines, as
// stepping over a line takes them (by source line where the program has them).
std::optional<uint64_t> PreviousLineStart(const History& history, const sim::Machine& machine,
                                          const toolchain::LineTable& lines, const toolchain::SourceMap& map);

} // namespace insight
