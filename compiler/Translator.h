#pragma once
// The statement translator: one fixed chain of keyword rules, tested one after
// another against the same statement. Every rule whose test holds fires; none
// stops the chain, so a later rule may replace what an earlier one wrote.

#include "compiler/CompileContext.h"

#include <span>
#include <string>
#include <string_view>

namespace m51 {

// Translates the statement in context.StatementWords / CleanedLine into
// LoadLine, CarryLine, CompareLine, MainLine and LB (all cleared first); may add
// to Definebox and ErBox and change the counters and flags.
void TranslateStatement(CompileContext& context);

// Appends the lines of the action word in slot k (2 or 3) to LB: EXITPROC jumps
// to the procedure's exit label, INLINE copies the next inline block, any other
// word is called as a procedure.
void EmitAction(CompileContext& context, int k);

// For EXITPROC (any case): the jump to the current procedure's exit label,
// opening a new label number unless one is pending; any other word unchanged.
std::string ExitJump(CompileContext& context, std::string_view word);

struct Rule;
using RuleTest = bool (*)(const CompileContext&);
using RuleAction = void (*)(CompileContext&, const Rule&);

// One entry of the chain. It fires when w1 equals `keyword` exactly (or the
// keyword is empty) and `test` holds (or is null). `text` is the line or the
// line prefix that generic actions write. A test that can only hold for a w1
// beginning with one byte names it in `lead`, so that other lines skip the call.
struct Rule {
    int number;  // the rule's place in the chain, 1..42
    std::string_view keyword;
    RuleTest test;
    RuleAction action;
    std::string_view text;
    char lead = 0;  // 0: the test is asked whatever w1 begins with
};

// The whole chain in firing order.
std::span<const Rule> RuleChain();

} // namespace m51
