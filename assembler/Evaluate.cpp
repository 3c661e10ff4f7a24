// Evaluating an expression's postfix steps with the symbols' current values,
// in every pass: the operators' meaning in 32-bit two's complement.
#include "Context.h"

namespace m51asm {

bool Evaluate(Context& ctx, ExprRef expr, std::int32_t here, std::int32_t& value)
{
    std::int32_t* stack = ctx.evalStack.data();
    std::size_t top = 0;
    const ExprOp* ops = ctx.exprOps.data() + expr.first;
    bool ok = true;
    for (std::uint32_t i = 0; i < expr.count; ++i) {
        const ExprOp& e = ops[i];
        const auto u = [&](std::size_t k) { return static_cast<std::uint32_t>(stack[k]); };
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
        case Op::Neg: stack[top - 1] = static_cast<std::int32_t>(0u - u(top - 1)); continue;
        case Op::Not: stack[top - 1] = static_cast<std::int32_t>(~u(top - 1)); continue;
        case Op::High: stack[top - 1] = (stack[top - 1] >> 8) & 0xFF; continue;
        case Op::Low: stack[top - 1] = stack[top - 1] & 0xFF; continue;
        default: break;
        }
        --top;
        const std::uint32_t a = u(top - 1), b = u(top);
        std::uint32_t r = 0;
        switch (e.op) {
        case Op::Add: r = a + b; break;
        case Op::Sub: r = a - b; break;
        case Op::Mul: r = a * b; break;
        case Op::Div:
        case Op::Mod: {
            const std::int64_t sa = stack[top - 1], sb = stack[top];
            if (sb == 0) {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "division by zero");
                ok = false;
                r = 0;
            } else {
                r = static_cast<std::uint32_t>(e.op == Op::Div ? sa / sb : sa % sb);
            }
            break;
        }
        case Op::And: r = a & b; break;
        case Op::Or: r = a | b; break;
        case Op::Xor: r = a ^ b; break;
        case Op::Shl: r = b >= 32 ? 0 : a << b; break;
        case Op::Shr: r = b >= 32 ? 0 : a >> b; break;
        case Op::Eq: r = a == b ? ~0u : 0; break;
        case Op::Ne: r = a != b ? ~0u : 0; break;
        case Op::Lt: r = stack[top - 1] < stack[top] ? ~0u : 0; break;
        case Op::Le: r = stack[top - 1] <= stack[top] ? ~0u : 0; break;
        case Op::Gt: r = stack[top - 1] > stack[top] ? ~0u : 0; break;
        case Op::Ge: r = stack[top - 1] >= stack[top] ? ~0u : 0; break;
        case Op::BitOf: {
            const std::int32_t byte = stack[top - 1], bit = stack[top];
            if (bit < 0 || bit > 7) {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "bit number " + std::to_string(bit) + " is not 0 to 7");
                ok = false;
            } else if (byte >= 0x20 && byte <= 0x2F) {
                r = static_cast<std::uint32_t>((byte - 0x20) * 8 + bit);
            } else if (byte >= 0x80 && byte <= 0xFF && byte % 8 == 0) {
                r = static_cast<std::uint32_t>(byte + bit);
            } else {
                if (ctx.reportErrors)
                    ctx.Error(ctx.currentLine, "address " + Hex4(static_cast<std::uint32_t>(byte)) +
                                                   " has no addressable bits (20H-2FH and SFRs at multiples of 8)");
                ok = false;
            }
            break;
        }
        default: break;
        }
        stack[top - 1] = static_cast<std::int32_t>(r);
    }
    value = top ? stack[0] : 0;
    return ok;
}

} // namespace m51asm
