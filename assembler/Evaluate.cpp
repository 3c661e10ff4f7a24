// Evaluating an expression's postfix steps with the symbols' current values,
// in every pass: the operators' meaning in 32-bit two's complement.
#include "assembler/Operators.h"

namespace m51asm {

bool Evaluate(Context& ctx, ExprRef expr, std::int32_t here, std::int32_t& value)
{
    std::int32_t* stack = ctx.evalStack.data();
    std::size_t top = 0;
    const ExprOp* ops = ctx.exprOps.data() + expr.first;
    bool ok = true;
    for (std::uint32_t i = 0; i < expr.count; ++i) {
        const ExprOp& e = ops[i];
        switch (e.op) {
        case Op::Number: stack[top++] = e.value; continue;
        case Op::Here: stack[top++] = here; continue;
        case Op::Symbol: {
            SymbolEntry& s = ctx.symbols[e.value];
            if (s.bankRegister && s.known) {
                stack[top++] = ctx.bank * 8 + s.value;
                continue;
            }
            if (!s.known) {
                if (s.line == 0 && !s.predefined) {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "undefined symbol " + std::string(s.name));
                    ok = false;
                } else if (s.line == 0) {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "undefined symbol " + std::string(s.name) +
                                                       " (the register names are off after $NOMOD51)");
                    ok = false;
                } else {
                    if (ctx.reportErrors)
                        ctx.Error(ctx.currentLine, "symbol " + std::string(s.name) + " has no value (circular definition)");
                    ctx.unknownSeen = true;
                    ok = false;
                }
            }
            stack[top++] = s.value;
            continue;
        }
        case Op::Neg:
        case Op::Not:
        case Op::High:
        case Op::Low: stack[top - 1] = UnaryOp(e.op, stack[top - 1]); continue;
        default: break;
        }
        --top;
        OpFault fault = OpFault::None;
        const std::int32_t r = BinaryOp(e.op, stack[top - 1], stack[top], fault);
        if (fault != OpFault::None) {
            if (ctx.reportErrors)
                ctx.Error(ctx.currentLine, FaultMessage(fault, stack[top - 1], stack[top]));
            ok = false;
        }
        stack[top - 1] = r;
    }
    value = top ? stack[0] : 0;
    return ok;
}

} // namespace m51asm
