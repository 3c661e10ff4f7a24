// Writing and reading the object file (its format is in ObjectFile.h).
#include "assembler/ObjectFile.h"

#include <charconv>

namespace m51asm {

namespace {

constexpr std::size_t kMaxRecords = std::size_t{1} << 20;
constexpr std::size_t kMaxSteps = 256;
constexpr std::uint32_t kMaxSegmentSize = 0x10000;
constexpr std::size_t kBytesPerRecord = 32;
constexpr std::uint64_t kMaxTotalSize = std::uint64_t{64} << 20;

const char* const kTypeNames[] = {"CODE", "DATA", "IDATA", "BIT", "XDATA"};
const char* const kFieldNames[] = {"BYTE", "DATA", "BIT", "WORD", "REL", "ADDR11"};
const char kKindLetters[] = {'C', 'D', 'I', 'X', 'B', 'N', 'R'};  // in SymbolKind order
const struct {
    const char* name;
    std::uint8_t flag;
} kFlagNames[] = {{"INPAGE", kInPage}, {"INBLOCK", kInBlock}, {"PAGE", kPage},
                  {"BITADDRESSABLE", kBitAddressable}, {"OVERLAYABLE", kOverlayable}};
// Operator words, from Op::Neg on.
const char* const kOpNames[] = {"NEG", "NOT", "HIGH", "LOW", "+",  "-",  "*",  "/",  "MOD", "AND", "OR",
                                "XOR", "SHL", "SHR",  "EQ",  "NE", "LT", "LE", "GT", "GE",  "BITOF"};
constexpr int kFirstOperator = static_cast<int>(Op::Neg);

void AppendSteps(std::string& out, const std::vector<ObjectStep>& steps)
{
    for (const ObjectStep& s : steps) {
        out += ' ';
        switch (s.op) {
        case Op::Number: out += '#' + std::to_string(s.value); break;
        case Op::Symbol: out += '$' + std::to_string(s.value); break;
        case Op::Here: out += '@' + std::to_string(s.segment) + ':' + std::to_string(s.value); break;
        default: out += kOpNames[static_cast<int>(s.op) - kFirstOperator]; break;
        }
    }
}

class ObjectReader {
public:
    ObjectReader(std::string_view text, ObjectModule& m) : m_text(text), m_m(m) {}

    bool Read(std::string& error)
    {
        bool magic = false, ended = false;
        while (NextLine()) {
            if (ended)
                return Fail(error, "text after end");
            if (!magic) {
                if (Word() != kObjectMagic)
                    return Fail(error, "not an m51 object file (its first line is not M51OBJ 1)");
                std::int64_t version = 0;
                if (!Number(version, 1, 1))
                    return Fail(error, "object file version not understood (this m51as reads version 1)");
                magic = true;
            } else if (!Record(ended)) {
                return Fail(error, m_problem.empty() ? "malformed record" : m_problem);
            }
            if (!AtEnd())
                return Fail(error, "unexpected text at the end of the record");
        }
        if (!magic)
            return Fail(error, "empty file, not an m51 object file");
        if (!ended)
            return Fail(error, "the file ends without its end record (cut short?)");
        return true;
    }

private:
    bool Fail(std::string& error, const std::string& what)
    {
        error = "line " + std::to_string(m_lineNo) + ": " + what;
        return false;
    }

    bool NextLine()
    {
        if (m_pos >= m_text.size())
            return false;
        std::size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        m_line = m_text.substr(m_pos, end - m_pos);
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.remove_suffix(1);
        m_pos = end + 1;
        m_at = 0;
        ++m_lineNo;
        return true;
    }

    bool AtEnd() const { return m_at >= m_line.size(); }

    std::string_view Word()
    {
        if (m_at < m_line.size() && m_line[m_at] == ' ' && m_at > 0)
            ++m_at;
        const std::size_t start = m_at;
        while (m_at < m_line.size() && m_line[m_at] != ' ')
            ++m_at;
        return m_line.substr(start, m_at - start);
    }

    static bool ParseInt(std::string_view w, std::int64_t& v)
    {
        const auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
        return ec == std::errc() && p == w.data() + w.size() && !w.empty();
    }

    bool Number(std::int64_t& v, std::int64_t lo, std::int64_t hi)
    {
        return ParseInt(Word(), v) && v >= lo && v <= hi;
    }

    bool Int(int& v, std::int64_t hi = 0x7FFFFFFF)
    {
        std::int64_t n = 0;
        if (!Number(n, 0, hi))
            return false;
        v = static_cast<int>(n);
        return true;
    }

    bool Name(std::string& name)
    {
        const std::string_view w = Word();
        if (w.empty())
            return false;
        for (char c : w)
            if (static_cast<unsigned char>(c) < 0x21 || c == 0x7F)
                return false;
        name = w;
        return true;
    }

    bool Kind(SymbolKind& kind)
    {
        const std::string_view w = Word();
        for (std::size_t i = 0; i < sizeof kKindLetters; ++i)
            if (w.size() == 1 && w[0] == kKindLetters[i]) {
                kind = static_cast<SymbolKind>(i);
                return true;
            }
        return false;
    }

    template <std::size_t N>
    static int Index(std::string_view w, const char* const (&names)[N])
    {
        for (std::size_t i = 0; i < N; ++i)
            if (w == names[i])
                return static_cast<int>(i);
        return -1;
    }

    // The steps to the end of the line: a whole expression that leaves one value.
    bool Steps(std::vector<ObjectStep>& steps)
    {
        int depth = 0;
        while (!AtEnd()) {
            if (steps.size() >= kMaxSteps)
                return Problem("expression longer than 256 steps");
            const std::string_view w = Word();
            ObjectStep s;
            std::int64_t v = 0;
            if (w.size() > 1 && w[0] == '#' && ParseInt(w.substr(1), v) && v >= INT32_MIN && v <= INT32_MAX) {
                s.op = Op::Number;
                s.value = static_cast<std::int32_t>(v);
                ++depth;
            } else if (w.size() > 1 && w[0] == '$' && ParseInt(w.substr(1), v) && v >= 0 &&
                       static_cast<std::size_t>(v) < m_m.externs.size()) {
                s.op = Op::Symbol;
                s.value = static_cast<std::int32_t>(v);
                ++depth;
            } else if (w.size() > 3 && w[0] == '@' && w.find(':') != std::string_view::npos) {
                const std::size_t colon = w.find(':');
                std::int64_t seg = 0;
                if (!ParseInt(w.substr(1, colon - 1), seg) || !ParseInt(w.substr(colon + 1), v) || seg < 0 ||
                    static_cast<std::size_t>(seg) >= m_m.segments.size() || v < 0 || v > 0x10000)
                    return Problem("bad segment address " + std::string(w));
                s.op = Op::Here;
                s.segment = static_cast<std::int32_t>(seg);
                s.value = static_cast<std::int32_t>(v);
                ++depth;
            } else {
                const int i = Index(w, kOpNames);
                if (i < 0)
                    return Problem("unknown expression step " + std::string(w.substr(0, 40)));
                s.op = static_cast<Op>(i + kFirstOperator);
                const int operands = s.op <= Op::Low ? 1 : 2;
                if (depth < operands)
                    return Problem("operator " + std::string(w) + " without its operands");
                depth -= operands - 1;
            }
            steps.push_back(s);
        }
        if (depth != 1)
            return Problem("the expression does not leave one value");
        return true;
    }

    bool Problem(std::string what)
    {
        m_problem = std::move(what);
        return false;
    }

    template <typename T>
    bool Room(const std::vector<T>& list)
    {
        return list.size() < kMaxRecords || Problem("too many records");
    }

    bool Record(bool& ended)
    {
        const std::string_view kind = Word();
        if (kind == "end") {
            ended = true;
            return true;
        }
        if (kind == "module")
            return Name(m_m.name);
        if (kind == "source") {
            m_m.source = m_line.substr(m_at < m_line.size() ? m_at + 1 : m_at);
            m_at = m_line.size();
            return true;
        }
        if (kind == "banks") {
            std::int64_t v = 0;
            if (!Number(v, 0, 15))
                return false;
            m_m.banks = static_cast<std::uint8_t>(v);
            return true;
        }
        if (kind == "segment" || kind == "absolute") {
            if (!Room(m_m.segments))
                return false;
            ObjectSegment s;
            s.absolute = kind == "absolute";
            if (!s.absolute && !Name(s.name))
                return false;
            const int type = Index(Word(), kTypeNames);
            if (type < 0)
                return Problem("unknown segment type");
            s.type = static_cast<SegmentType>(type);
            int address = 0, size = 0;
            if (s.absolute && !Int(address, 0xFFFF))
                return false;
            if (!Int(size, kMaxSegmentSize) || !Int(s.line) || address + size > static_cast<int>(kMaxSegmentSize))
                return Problem("bad segment size or address");
            s.address = static_cast<std::uint32_t>(address);
            s.size = static_cast<std::uint32_t>(size);
            m_total += s.size;
            if (m_total > kMaxTotalSize)
                return Problem("segments of more than 64 MB in all");
            while (!AtEnd()) {
                const std::string_view f = Word();
                bool known = false;
                for (const auto& flag : kFlagNames)
                    if (f == flag.name) {
                        s.flags |= flag.flag;
                        known = true;
                    }
                if (!known)
                    return Problem("unknown segment flag " + std::string(f.substr(0, 40)));
            }
            if (s.type == SegmentType::Code) {
                s.bytes.assign(s.size, 0xFF);
                s.written.assign(s.size, false);
            }
            m_m.segments.push_back(std::move(s));
            return true;
        }
        if (kind == "bytes") {
            int seg = 0, offset = 0;
            if (!Int(seg) || static_cast<std::size_t>(seg) >= m_m.segments.size() || !Int(offset, 0xFFFF))
                return Problem("bytes of an unknown segment");
            ObjectSegment& s = m_m.segments[static_cast<std::size_t>(seg)];
            const std::string_view hex = Word();
            if (hex.empty() || hex.size() % 2 || offset + hex.size() / 2 > s.bytes.size())
                return Problem("bytes outside their segment");
            for (std::size_t i = 0; i < hex.size(); i += 2) {
                unsigned v = 0;
                const auto [p, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
                if (ec != std::errc() || p != hex.data() + i + 2)
                    return Problem("bad hex digits");
                s.bytes[static_cast<std::size_t>(offset) + i / 2] = static_cast<std::uint8_t>(v);
                s.written[static_cast<std::size_t>(offset) + i / 2] = true;
            }
            return true;
        }
        if (kind == "extern") {
            ObjectExtern e;
            if (!Room(m_m.externs) || !Name(e.name) || !Kind(e.kind) || !Int(e.line))
                return false;
            m_m.externs.push_back(std::move(e));
            return true;
        }
        if (kind == "public" || kind == "local") {
            ObjectSymbol s;
            s.isPublic = kind == "public";
            if (!Room(m_m.symbols) || !Name(s.name) || !Kind(s.kind) || !Int(s.line) || !Steps(s.steps))
                return false;
            m_m.symbols.push_back(std::move(s));
            return true;
        }
        if (kind == "fixup") {
            ObjectFixup f;
            int seg = 0, offset = 0, next = 0;
            if (!Room(m_m.fixups) || !Int(seg) || static_cast<std::size_t>(seg) >= m_m.segments.size() ||
                !Int(offset, 0xFFFF))
                return Problem("fixup in an unknown segment");
            const int field = Index(Word(), kFieldNames);
            if (field < 0 || !Int(next, 0x10000) || !Int(f.line))
                return Problem("bad fixup");
            f.segment = seg;
            f.offset = static_cast<std::uint32_t>(offset);
            f.field = static_cast<FieldKind>(field);
            f.next = static_cast<std::uint32_t>(next);
            const ObjectSegment& s = m_m.segments[static_cast<std::size_t>(seg)];
            const std::uint32_t width = f.field == FieldKind::Word || f.field == FieldKind::Addr11 ? 2 : 1;
            if (s.type != SegmentType::Code || f.offset + width > s.size)
                return Problem("fixup outside the code of its segment");
            if (!Steps(f.steps))
                return false;
            m_m.fixups.push_back(std::move(f));
            return true;
        }
        return Problem("unknown record " + std::string(kind.substr(0, 40)));
    }

    std::string_view m_text;
    ObjectModule& m_m;
    std::size_t m_pos = 0;
    std::string_view m_line;
    std::size_t m_at = 0;
    int m_lineNo = 0;
    std::string m_problem;
    std::uint64_t m_total = 0;  // the sizes of all segments
};

} // namespace

std::string WriteObject(const ObjectModule& m)
{
    std::string out = std::string(kObjectMagic) + " 1\n";
    if (!m.name.empty())
        out += "module " + m.name + "\n";
    if (!m.source.empty())
        out += "source " + m.source + "\n";
    out += "banks " + std::to_string(m.banks) + "\n";
    for (const ObjectSegment& s : m.segments) {
        const char* type = kTypeNames[static_cast<int>(s.type)];
        if (s.absolute) {
            out += std::string("absolute ") + type + ' ' + std::to_string(s.address);
        } else {
            out += "segment " + s.name + ' ' + type;
        }
        out += ' ' + std::to_string(s.size) + ' ' + std::to_string(s.line);
        for (const auto& flag : kFlagNames)
            if (s.flags & flag.flag)
                out += std::string(" ") + flag.name;
        out += '\n';
    }
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < m.segments.size(); ++i) {
        const std::vector<std::uint8_t>& bytes = m.segments[i].bytes;
        const std::vector<bool>& written = m.segments[i].written;
        for (std::size_t at = 0; at < bytes.size();) {
            if (at < written.size() && !written[at]) {
                ++at;
                continue;
            }
            out += "bytes " + std::to_string(i) + ' ' + std::to_string(at) + ' ';
            std::size_t k = at;
            for (; k < bytes.size() && k < at + kBytesPerRecord && (k >= written.size() || written[k]); ++k) {
                out += digits[bytes[k] >> 4];
                out += digits[bytes[k] & 15];
            }
            out += '\n';
            at = k;
        }
    }
    for (const ObjectExtern& e : m.externs)
        out += "extern " + e.name + ' ' + kKindLetters[static_cast<int>(e.kind)] + ' ' + std::to_string(e.line) + '\n';
    for (const ObjectSymbol& s : m.symbols) {
        out += std::string(s.isPublic ? "public " : "local ") + s.name + ' ' + kKindLetters[static_cast<int>(s.kind)] +
               ' ' + std::to_string(s.line);
        AppendSteps(out, s.steps);
        out += '\n';
    }
    for (const ObjectFixup& f : m.fixups) {
        out += "fixup " + std::to_string(f.segment) + ' ' + std::to_string(f.offset) + ' ' +
               kFieldNames[static_cast<int>(f.field)] + ' ' + std::to_string(f.next) + ' ' + std::to_string(f.line);
        AppendSteps(out, f.steps);
        out += '\n';
    }
    out += "end\n";
    return out;
}

bool ReadObject(std::string_view text, ObjectModule& module, std::string& error)
{
    module = ObjectModule();
    ObjectReader reader(text, module);
    return reader.Read(error);
}

} // namespace m51asm
