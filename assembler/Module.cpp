// A module's object (m51as -c): its relocatable segments with their code at
// offsets from 0, its absolute pieces, its names and the fields the linker
// fills in, each with its expression in object steps.
#include "assembler/Context.h"

#include <algorithm>
#include <bit>

namespace m51asm {

namespace {

constexpr int kMaxDerivedDepth = 16;
constexpr std::size_t kMaxSteps = 256;

std::string ModuleNameOf(const Context& ctx)
{
    std::string name(ctx.moduleName);
    if (name.empty()) {
        name = ctx.options.fileName;
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
    }
    for (char& c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            c = '_';
    return name.empty() ? "MODULE" : name.substr(0, 255);
}

std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
            c = '?';
    return text;
}

// The absolute code of the module, one piece for each stretch of written addresses.
void AbsolutePieces(const Context& ctx, const AssembleResult& r, std::vector<ObjectSegment>& out)
{
    std::uint32_t a = 0;
    while (a < 0x10000) {
        const std::uint64_t word = ctx.writtenBits[a >> 6] >> (a & 63);
        if (!word) {
            a = (a | 63) + 1;
            continue;
        }
        a += static_cast<std::uint32_t>(std::countr_zero(word));
        const std::uint32_t start = a;
        while (a < 0x10000 && r.written[a])
            ++a;
        ObjectSegment piece;
        piece.absolute = true;
        piece.address = start;
        piece.size = a - start;
        piece.bytes.assign(r.image.begin() + start, r.image.begin() + a);
        piece.written.assign(piece.size, true);
        out.push_back(std::move(piece));
    }
}

} // namespace

bool ModuleRelative(const Context& ctx, ExprRef expr, bool inRseg)
{
    for (std::uint32_t i = 0; i < expr.count; ++i) {
        const ExprOp& op = ctx.exprOps[expr.first + i];
        if (op.op == Op::Here && inRseg)
            return true;
        if (op.op != Op::Symbol)
            continue;
        const SymbolEntry& s = ctx.symbols[op.value];
        if (s.rseg >= 0 || s.external || s.derived)
            return true;
    }
    return false;
}

bool ObjectSteps(const Context& ctx, ExprRef expr, const Statement& st, std::vector<ObjectStep>& out, int depth)
{
    if (depth > kMaxDerivedDepth)
        return false;
    for (std::uint32_t i = 0; i < expr.count; ++i) {
        const ExprOp& op = ctx.exprOps[expr.first + i];
        if (out.size() >= kMaxSteps)
            return false;
        switch (op.op) {
        case Op::Here:
            if (st.rseg >= 0)
                out.push_back({Op::Here, static_cast<std::int32_t>(st.address), st.rseg});
            else
                out.push_back({Op::Number, static_cast<std::int32_t>(st.address), 0});
            break;
        case Op::Symbol: {
            const SymbolEntry& s = ctx.symbols[op.value];
            if (s.external)
                out.push_back({Op::Symbol, s.externIndex, 0});
            else if (s.rseg >= 0)
                out.push_back({Op::Here, s.value, s.rseg});
            else if (s.derived && !ObjectSteps(ctx, s.definition, st, out, depth + 1))
                return false;
            else if (!s.derived)
                out.push_back({Op::Number, s.bankRegister ? ctx.bank * 8 + s.value : s.value, 0});
            break;
        }
        default:
            out.push_back({op.op, op.value, 0});
            break;
        }
    }
    return true;
}

void MakeObject(Context& ctx, AssembleResult& r)
{
    auto m = std::make_shared<ObjectModule>();
    m->name = ModuleNameOf(ctx);
    m->source = Printable(ctx.options.sourcePath.empty() ? ctx.options.fileName : ctx.options.sourcePath);
    m->banks = ctx.banks;
    for (const RelSegment& seg : ctx.rsegs) {
        ObjectSegment s;
        s.name = seg.name;
        s.type = static_cast<SegmentType>(seg.type);
        s.flags = seg.flags;
        s.size = seg.size;
        s.line = ctx.MainLine(seg.row);
        if (seg.type == Segment::Code) {
            s.bytes = seg.bytes;
            s.bytes.resize(seg.size, 0xFF);
            s.written = seg.written;
            s.written.resize(seg.size, false);
        }
        m->segments.push_back(std::move(s));
    }
    const std::size_t firstPiece = m->segments.size();
    AbsolutePieces(ctx, r, m->segments);
    const std::size_t endOfCode = m->segments.size();
    m->segments.insert(m->segments.end(), ctx.absoluteData.begin(), ctx.absoluteData.end());

    for (ObjectFixup& f : ctx.fixups) {
        if (f.segment < 0) {
            // A field of absolute code: in the piece that holds it.
            for (std::size_t i = firstPiece; i < endOfCode; ++i) {
                const ObjectSegment& piece = m->segments[i];
                if (f.offset < piece.address || f.offset >= piece.address + piece.size)
                    continue;
                f.segment = static_cast<std::int32_t>(i);
                f.offset -= piece.address;
                f.next = f.next >= piece.address ? f.next - piece.address : 0;
                break;
            }
            if (f.segment < 0)
                continue;  // past the code space: reported already
        }
        const ObjectSegment& seg = m->segments[static_cast<std::size_t>(f.segment)];
        const std::uint32_t width = f.field == FieldKind::Word || f.field == FieldKind::Addr11 ? 2 : 1;
        if (f.offset + width > seg.size || f.next > 0x10000)
            continue;  // past the end of the segment's space: reported already
        m->fixups.push_back(std::move(f));
    }
    for (std::int32_t id : ctx.externs) {
        const SymbolEntry& s = ctx.symbols[id];
        m->externs.push_back({std::string(s.name), s.kind, ctx.FileLine(s.line)});
    }
    std::vector<bool> isPublic(ctx.symbols.size(), false);
    for (const auto& [id, row] : ctx.publics) {
        const SymbolEntry& s = ctx.symbols[id];
        if (s.external)
            ctx.Error(row, "PUBLIC " + std::string(s.name) + ": the name is EXTRN here; PUBLIC names one this module defines");
        else if (s.line == 0 || s.predefined)
            ctx.Error(row, "PUBLIC " + std::string(s.name) + ": the name is not defined in this module");
        else
            isPublic[static_cast<std::size_t>(id)] = true;
    }
    Statement none;
    for (std::size_t id = 0; id < ctx.symbols.size(); ++id) {
        const SymbolEntry& s = ctx.symbols[static_cast<std::int32_t>(id)];
        if (s.line <= 0 || s.predefined || s.external || (s.kind == SymbolKind::Register && !isPublic[id]))
            continue;
        ObjectSymbol o;
        o.name = s.name;
        o.kind = s.kind;
        o.line = ctx.FileLine(s.line);
        o.isPublic = isPublic[id];
        if (s.rseg >= 0)
            o.steps.push_back({Op::Here, s.value, s.rseg});
        else if (!s.derived || !ObjectSteps(ctx, s.definition, none, o.steps))
            o.steps.assign(1, {Op::Number, s.value, 0});
        m->symbols.push_back(std::move(o));
    }
    r.object = std::move(m);
}

} // namespace m51asm
