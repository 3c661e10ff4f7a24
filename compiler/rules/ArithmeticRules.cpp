// Arithmetic, logic and bit statements: each writes one MainLine. Most are
// fixed lines or a prefix with the normalized operand (generic line forms of
// the chain); the operations on B or a value need a form of their own.

#include "compiler/rules/Rules.h"

#include "compiler/Helpers.h"

namespace m51::rules {

// "+ B" uses register B, "+ 5" the value 005; without an operand nothing is
// written and the line stays untranslated. The register test is case-sensitive:
// "+ b" is the immediate operand b.
void BOrNumber(CompileContext& c, const Rule& rule)
{
    if (c.W(2) == "B")
        c.MainLine = std::string(rule.text) + "B";
    else if (!c.W(2).empty())
        c.MainLine = std::string(rule.text) + "#" + NormalizeNumber(c.W(2));
}

} // namespace m51::rules
