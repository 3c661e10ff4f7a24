// The directives of a module (m51as -c): relocatable segments declared with
// NAME SEGMENT TYPE [FLAGS] and chosen with RSEG, the names a module gives
// others (PUBLIC) and takes from them (EXTRN), and its name (NAME).
#include "assembler/LineParser.h"
#include "assembler/Characters.h"

namespace m51asm {

namespace {

struct TypeWord {
    const char* word;
    Segment segment;
    SymbolKind kind;
};

constexpr TypeWord kTypes[] = {{"CODE", Segment::Code, SymbolKind::Code},    {"DATA", Segment::Data, SymbolKind::Data},
                               {"IDATA", Segment::IData, SymbolKind::IData}, {"BIT", Segment::Bit, SymbolKind::Bit},
                               {"XDATA", Segment::XData, SymbolKind::XData}};

const TypeWord* FindType(std::string_view word)
{
    for (const TypeWord& t : kTypes)
        if (EqualsUpper(word, t.word))
            return &t;
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

} // namespace

bool LineParser::SegmentDeclaration(Statement& st, std::string_view name, std::string_view rest)
{
    std::size_t p = 0;
    const std::string_view typeWord = Word(rest, p);
    const TypeWord* type = FindType(typeWord);
    if (!type) {
        m_ctx.Error(m_lineNo, "SEGMENT needs a type: CODE, DATA, IDATA, BIT or XDATA");
        return Push(st);
    }
    std::uint8_t flags = 0;
    for (std::string_view w = Word(rest, p); !w.empty(); w = Word(rest, p)) {
        if (EqualsUpper(w, "INPAGE"))
            flags |= kInPage;
        else if (EqualsUpper(w, "INBLOCK"))
            flags |= kInBlock;
        else if (EqualsUpper(w, "PAGE"))
            flags |= kPage;
        else if (EqualsUpper(w, "BITADDRESSABLE"))
            flags |= kBitAddressable;
        else if (EqualsUpper(w, "OVERLAYABLE"))
            flags |= kOverlayable;
        else if (!EqualsUpper(w, "UNIT")) {
            m_ctx.Error(m_lineNo, "unknown segment relocation " + std::string(w) +
                                      " (INPAGE, INBLOCK, PAGE, BITADDRESSABLE, OVERLAYABLE, UNIT)");
            return Push(st);
        }
    }
    if (!TrimBlanks(rest.substr(p)).empty()) {
        m_ctx.Error(m_lineNo, "unexpected \"" + std::string(TrimBlanks(rest.substr(p))) + "\" after the segment type");
        return Push(st);
    }
    if ((flags & kBitAddressable) && type->segment != Segment::Data) {
        m_ctx.Error(m_lineNo, "BITADDRESSABLE is for DATA segments");
        return Push(st);
    }
    if ((flags & kInBlock) && type->segment != Segment::Code) {
        m_ctx.Error(m_lineNo, "INBLOCK is for CODE segments");
        return Push(st);
    }
    const std::int32_t id = Claim(name, false);
    if (id < 0)
        return Push(st);
    const auto index = static_cast<std::int16_t>(m_ctx.rsegs.size());
    if (m_ctx.rsegs.size() >= 0x7FFF) {
        m_ctx.Error(m_lineNo, "too many segments");
        return Push(st);
    }
    RelSegment seg;
    seg.name = m_ctx.symbols[id].name;
    seg.type = type->segment;
    seg.flags = flags;
    seg.row = m_lineNo;
    seg.symbol = id;
    if (m_ctx.placed && static_cast<std::size_t>(index) < m_ctx.options.segmentBases.size())
        seg.base = m_ctx.options.segmentBases[static_cast<std::size_t>(index)];
    SymbolEntry& s = m_ctx.symbols[id];
    s.kind = type->kind;
    s.rseg = index;
    s.value = static_cast<std::int32_t>(seg.base);
    s.known = true;
    m_ctx.rsegs.push_back(seg);
    return Push(st);
}

bool LineParser::ModuleDirective(Statement& st, std::string_view word, std::string_view rest)
{
    std::size_t p = 0;
    if (EqualsUpper(word, "NAME")) {
        const std::string_view name = Word(rest, p);
        if (name.empty() || !TrimBlanks(rest.substr(p)).empty())
            m_ctx.Error(m_lineNo, "NAME needs the module's name");
        else
            m_ctx.moduleName = name;
        return Push(st);
    }
    if (EqualsUpper(word, "RSEG")) {
        const std::string_view name = Word(rest, p);
        std::int16_t index = -1;
        for (std::size_t i = 0; i < m_ctx.rsegs.size() && index < 0; ++i)
            if (SameName(m_ctx.rsegs[i].name, name))
                index = static_cast<std::int16_t>(i);
        if (index < 0 || !TrimBlanks(rest.substr(p)).empty()) {
            m_ctx.Error(m_lineNo, "RSEG needs the name of a segment declared above it (NAME SEGMENT CODE)");
            return Push(st);
        }
        const RelSegment& seg = m_ctx.rsegs[static_cast<std::size_t>(index)];
        st.kind = Kind::Rseg;
        st.form = static_cast<std::uint16_t>(index);
        st.rseg = index;
        st.segment = seg.type;
        m_ctx.parseSegment = seg.type;
        m_ctx.parseRseg = index;
        return Push(st);
    }
    if (EqualsUpper(word, "PUBLIC")) {
        m_texts.clear();
        SplitOperands(rest, m_texts);
        if (m_texts.empty())
            m_ctx.Error(m_lineNo, "PUBLIC needs the names to make public");
        for (std::string_view t : m_texts) {
            std::size_t q = 0;
            const std::string_view name = Word(t, q);
            if (name.empty() || q != t.size()) {
                m_ctx.Error(m_lineNo, "PUBLIC takes names: " + std::string(t));
                continue;
            }
            m_ctx.publics.emplace_back(m_ctx.symbols.Intern(name), m_lineNo);
        }
        return Push(st);
    }
    // EXTRN TYPE (name, ...), TYPE (name, ...) ...
    const std::string usage = std::string(word) + " takes TYPE (names), ...: CODE, DATA, IDATA, BIT, XDATA or NUMBER";
    bool any = false;
    while (true) {
        const std::string_view typeWord = Word(rest, p);
        const TypeWord* type = FindType(typeWord);
        const bool number = EqualsUpper(typeWord, "NUMBER");
        p = SkipBlanks(rest, p);
        const std::size_t close = rest.find(')', p);
        if ((!type && !number) || p >= rest.size() || rest[p] != '(' || close == std::string_view::npos) {
            m_ctx.Error(m_lineNo, usage);
            return Push(st);
        }
        m_texts.clear();
        SplitOperands(rest.substr(p + 1, close - p - 1), m_texts);
        for (std::string_view t : m_texts) {
            std::size_t q = 0;
            const std::string_view name = Word(t, q);
            if (name.empty() || q != t.size()) {
                m_ctx.Error(m_lineNo, usage);
                return Push(st);
            }
            const std::int32_t id = Claim(name, false);
            if (id < 0)
                continue;
            SymbolEntry& s = m_ctx.symbols[id];
            const std::size_t index = m_ctx.externs.size();
            s.kind = number ? SymbolKind::Number : type->kind;
            s.external = true;
            s.externIndex = static_cast<std::int32_t>(index);
            s.known = true;
            s.value = m_ctx.placed && index < m_ctx.options.externalValues.size()
                          ? m_ctx.options.externalValues[index] : 0;
            m_ctx.externs.push_back(id);
            any = true;
        }
        p = SkipBlanks(rest, close + 1);
        if (p >= rest.size())
            break;
        if (rest[p] != ',') {
            m_ctx.Error(m_lineNo, usage);
            return Push(st);
        }
        ++p;
    }
    if (!any && m_texts.empty())
        m_ctx.Error(m_lineNo, usage);
    return Push(st);
}

} // namespace m51asm
