#pragma once
// The condition of a breakpoint: "A = 5", "iram[30] > 10", "SENT" (a bit or
// byte that is not zero), with the watch expressions of Watches.h on either
// side (M51 names of DEFINE and DEFINEBIT, registers, iram[...], xram[...],
// sfr[...], code[...]) and numbers as the watch list takes them. A breakpoint
// with a condition stops only when its condition holds. Plain C++, no Qt.

#include "simrun/Watches.h"

#include <cstdint>
#include <optional>
#include <string>

namespace m51dbg {

struct BreakCondition {
    enum class Op { NonZero, Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };
    WatchTarget left;
    Op op = Op::NonZero;
    WatchTarget right;  // a Constant for a number
};

struct ConditionParse {
    std::optional<BreakCondition> condition;  // none for an empty text: the breakpoint always stops
    std::string error;                        // why the text is not a condition
};
ConditionParse ParseCondition(const std::string& text, const SourceNames& names);

bool EvaluateCondition(const BreakCondition& condition, const ByteReader& read, uint16_t pc);

} // namespace m51dbg
