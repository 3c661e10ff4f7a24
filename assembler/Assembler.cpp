// The passes over the parsed statements. Layout passes give every label its
// address, each segment counting on its own location counter; the generic JMP
// and CALL to a target defined above (or any, with shortestJumps) start in
// their two-byte form and grow to three bytes only when the target is out of
// reach, so the passes end when no size and no symbol changes any more. The
// code pass then emits the bytes and reports every error on its line.
#include "assembler/Passes.h"

#include "assembler/Characters.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace m51asm {

namespace {

// The name in capitals (a-z only, as names compare): names sort by it, one
// byte compare each instead of a letter-by-letter case fold.
std::string SortKey(std::string_view name)
{
    std::string key(name);
    for (char& c : key)
        c = Upper(c);
    return key;
}

} // namespace

std::vector<std::uint8_t> AssembleResult::Binary() const
{
    if (empty)
        return {};
    return std::vector<std::uint8_t>(image.begin() + lowest, image.begin() + highest + 1);
}

std::vector<std::string_view> SplitLines(std::string_view source)
{
    return m51::SplitLines(source);
}

AssembleResult Assemble(std::string_view source, const AssembleOptions& options)
{
    Context ctx(source, options);
    // Room for a statement a line and a symbol every other line: a vector
    // that grows copies itself onto fresh memory, and at a million lines that
    // copying and its page faults cost more than the parsing. Reserved room
    // not used is never touched.
    const std::size_t lines = static_cast<std::size_t>(std::count(source.begin(), source.end(), '\n')) + 1;
    ctx.statements.reserve(lines + 16);
    ctx.symbols.Reserve(lines / 2);
    ctx.operands.reserve(source.size() / 16 + 16);
    ctx.exprOps.reserve(source.size() / 16 + 16);
    ReadSource(ctx);


    Passes passes(ctx);
    AssembleResult r;
    r.image.assign(kCodeSpace, 0xFF);
    r.written.assign(kCodeSpace, false);
    bool settled = false;
    for (int i = 0; i < kMaxLayoutPasses && !settled; ++i)
        settled = !passes.Run(nullptr);
    if (!settled)
        ctx.Error(1, "the layout does not settle: ORG, DS or EQU values depend on addresses that they move");
    // The code pass emits every instruction's, DB's and DW's bytes (all the
    // modules of a source that starts again at ORG 0 more than once).
    std::size_t emitted = ctx.pc;
    for (const Statement& st : ctx.statements)
        if (st.kind == Kind::Instruction || st.kind == Kind::Db || st.kind == Kind::Dw)
            emitted += st.size;
    ctx.bytes.reserve(emitted + 64);
    r.addressMap.reserve(ctx.statements.size());
    passes.Run(&r);
    if (ctx.modules && !ctx.placed)
        MakeObject(ctx, r);
    if (ctx.errorsAtStop)
        ctx.errors.erase(ctx.errors.begin() + static_cast<std::ptrdiff_t>(*ctx.errorsAtStop), ctx.errors.end());

    // In reading order; `line` holds the row until the errors are handed out.
    std::stable_sort(ctx.errors.begin(), ctx.errors.end(),
                     [](const AsmError& a, const AsmError& b) { return a.line < b.line; });
    for (std::uint32_t w = 0; w < ctx.writtenBits.size(); ++w) {
        const std::uint64_t word = ctx.writtenBits[w];
        if (!word)
            continue;
        if (r.empty)
            r.lowest = static_cast<std::uint16_t>(w * 64 + static_cast<std::uint32_t>(std::countr_zero(word)));
        r.highest = static_cast<std::uint16_t>(w * 64 + 63 - static_cast<std::uint32_t>(std::countl_zero(word)));
        r.empty = false;
    }
    // By name, letter case aside (names differ in more than case: the table folds it).
    std::vector<std::pair<std::string, std::int32_t>> order;
    order.reserve(ctx.symbols.size());
    for (std::size_t id = 0; id < ctx.symbols.size(); ++id) {
        const SymbolEntry& s = ctx.symbols[static_cast<std::int32_t>(id)];
        if (s.line > 0 && !s.predefined && !s.external)
            order.emplace_back(SortKey(s.name), static_cast<std::int32_t>(id));
    }
    std::sort(order.begin(), order.end());
    r.symbols.reserve(order.size());
    for (const auto& [key, id] : order) {
        const SymbolEntry& s = ctx.symbols[id];
        r.symbols.push_back({std::string(s.name), s.kind, s.value, ctx.FileLine(s.line), s.redefinable});
    }
    r.hex = MakeHex(r, ctx.writtenBits);
    // The listing needs the statements, bytes and symbols, not the operands:
    // their memory goes before the listing's is taken.
    std::vector<Operand>().swap(ctx.operands);
    std::vector<ExprOp>().swap(ctx.exprOps);
    if (options.listing)
        r.listing = MakeListing(ctx, r);
    r.errors = std::move(ctx.errors);
    r.warnings = std::move(ctx.warnings);
    r.dialect = ctx.dialect;
    for (std::vector<AsmError>* list : {&r.errors, &r.warnings}) {
        for (AsmError& e : *list) {
            const std::int32_t row = e.line;
            const Run& run = ctx.RunOf(row);
            e.line = ctx.FileLine(row);
            if (run.file != 0)
                e.file = ctx.files[static_cast<std::size_t>(run.file)].name;
            e.context = ctx.Chain(row);
        }
    }
    return r;
}

} // namespace m51asm
