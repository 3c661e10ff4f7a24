// Macros as ASM51-family assemblers have them: NAME MACRO p1, p2 ... ENDM with
// LOCAL labels and EXITM, and the repetitions REPT n, IRP p, <a, b> and
// IRPC p, text. A call is replaced by its body with the parameters replaced
// wherever they stand as names (in operands, labels and strings; & joins a
// parameter to the text beside it; ;; comments are left out), and the
// expansion is read like any other text: it may call macros and define new
// ones. Limits on nesting and on the total expansion keep a macro that calls
// itself, or a huge REPT, from running without end.
#include "assembler/Reader.h"
#include "assembler/Characters.h"

#include <algorithm>
#include <cstdio>

namespace m51asm {

namespace {

int Match(std::string_view word, const std::vector<std::string>& names)
{
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& n = names[k];
        if (n.size() != word.size())
            continue;
        std::size_t i = 0;
        while (i < n.size() && Upper(word[i]) == n[i])
            ++i;
        if (i == n.size())
            return static_cast<int>(k);
    }
    return -1;
}

// Appends one body line with the names replaced by their values.
void Substitute(std::string& out, std::string_view line, const std::vector<std::string>& names,
                const std::vector<std::string>& values)
{
    char quote = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (!quote && c == ';') {
            if (i + 1 < line.size() && line[i + 1] == ';') {
                while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
                    out.pop_back();
                return;
            }
            out.append(line.substr(i));
            return;
        }
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        }
        const auto u = static_cast<unsigned char>(c);
        if (IsIdentStart(u) || (u >= '0' && u <= '9')) {
            std::size_t j = i;
            while (j < line.size() && IsIdentChar(static_cast<unsigned char>(line[j])))
                ++j;
            const std::string_view word = line.substr(i, j - i);
            const int k = IsIdentStart(u) ? Match(word, names) : -1;
            if (k >= 0) {
                if (!out.empty() && out.back() == '&')
                    out.pop_back();
                out += values[static_cast<std::size_t>(k)];
                if (j < line.size() && line[j] == '&')
                    ++j;
            } else {
                out.append(word);
            }
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
}

// Splits "a, <b, c>, 'x,y'" at the commas outside quotes, <> and ().
std::vector<std::string> Arguments(std::string_view text)
{
    std::vector<std::string> out;
    text = TrimBlanks(text);
    if (text.empty())
        return out;
    char quote = 0;
    int angle = 0, paren = 0;
    std::size_t start = 0;
    const auto add = [&](std::string_view a) {
        a = TrimBlanks(a);
        if (a.size() >= 2 && a.front() == '<' && a.back() == '>')
            a = a.substr(1, a.size() - 2);
        out.emplace_back(a);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '<') {
            ++angle;
        } else if (c == '>' && angle > 0) {
            --angle;
        } else if (c == '(') {
            ++paren;
        } else if (c == ')') {
            --paren;
        } else if (c == ',' && angle == 0 && paren <= 0) {
            add(text.substr(start, i - start));
            start = i + 1;
        }
    }
    add(text.substr(start));
    return out;
}

std::vector<std::string> Names(std::string_view text)
{
    std::vector<std::string> names;
    for (const std::string& a : Arguments(text))
        if (!a.empty())
            names.push_back(UpperCase(a));
    return names;
}

} // namespace

bool Reader::MacroLine(std::string_view code, std::string_view w1, std::size_t after1, std::int32_t row)
{
    if (w1.empty())
        return false;
    const char u = Upper(w1[0]);
    std::string_view rest = code.substr(after1);
    if (u == 'R' || u == 'I' || u == 'E' || u == 'L') {
        const int kind = SameWord(w1, "REPT") ? 1 : SameWord(w1, "IRP") ? 2 : SameWord(w1, "IRPC") ? 3 : 0;
        if (kind) {
            m_def = MacroDef{};
            m_def.name = UpperCase(w1);
            m_def.shown = kind == 1 ? "REPT" : kind == 2 ? "IRP" : "IRPC";
            m_def.row = row;
            m_defKind = kind;
            m_defItems.clear();
            m_defCount = 0;
            if (kind == 1) {
                std::int32_t n = 0;
                if (ValueOf(rest, row, "REPT", n) && n < 0)
                    m_ctx.Error(row, "REPT count " + std::to_string(n) + " is negative");
                m_defCount = n < 0 ? 0 : n;
            } else {
                std::vector<std::string> args = Arguments(rest);
                if (args.size() < 2 || args[0].empty()) {
                    m_ctx.Error(row, m_def.name + " needs a parameter and " +
                                         (kind == 2 ? "a list: IRP p, <a, b>" : "a text: IRPC p, text"));
                } else {
                    m_def.params.push_back(UpperCase(args[0]));
                    if (kind == 2 && args.size() == 2) {
                        m_defItems = Arguments(args[1]);
                    } else if (kind == 2) {
                        m_defItems.assign(args.begin() + 1, args.end());
                    } else {
                        for (char c : args[1])
                            m_defItems.emplace_back(1, c);
                    }
                }
            }
            BeginDefinition(row);
            return true;
        }
        if (SameWord(w1, "ENDM")) {
            m_ctx.Error(row, "ENDM without MACRO, REPT, IRP or IRPC");
            return true;
        }
        if (SameWord(w1, "EXITM")) {
            ExitMacro(row);
            return true;
        }
        if (SameWord(w1, "LOCAL")) {
            if (m_macroDepth == 0)
                m_ctx.Error(row, "LOCAL outside a macro");
            return true;
        }
    }
    std::size_t q = after1;
    while (q < code.size() && (code[q] == ' ' || code[q] == '\t'))
        ++q;
    if (q < code.size() && code[q] == ':') {
        std::size_t after2 = 0;
        const std::string_view w2 = FirstWord(code.substr(q + 1), after2);
        if (SameWord(w2, "REPT") || SameWord(w2, "IRP") || SameWord(w2, "IRPC")) {
            // A label on a repetition names its first byte.
            ParseLine(m_ctx, code.substr(0, q + 1), row);
            return MacroLine(code.substr(q + 1), w2, after2, row);
        }
        if (m_macros.empty())
            return false;
        const auto it = w2.empty() ? m_macros.end() : m_macros.find(UpperCase(w2));
        if (it == m_macros.end())
            return false;
        ParseLine(m_ctx, code.substr(0, q + 1), row);  // the label
        Call(it->second, code.substr(q + 1 + after2), row);
        return true;
    }
    std::size_t after2 = 0;
    const std::string_view w2 =
        q < code.size() && Upper(code[q]) == 'M' ? FirstWord(rest, after2) : std::string_view();
    if (!w2.empty() && SameWord(w2, "MACRO")) {
        m_def = MacroDef{};
        m_def.name = std::string(w1);
        m_def.shown = w1;
        m_def.row = row;
        m_def.params = Names(rest.substr(after2));
        m_defKind = 0;
        BeginDefinition(row);
        return true;
    }
    if (m_macros.empty())
        return false;
    const auto it = m_macros.find(UpperCase(w1));
    if (it == m_macros.end())
        return false;
    Call(it->second, rest, row);
    return true;
}

void Reader::BeginDefinition(std::int32_t row)
{
    m_def.file = m_ctx.RunOf(row).file;
    m_def.firstLine = m_ctx.FileLine(row) + 1;
    m_defining = true;
    m_defDepth = 1;
}

void Reader::Collect(std::string_view line, std::string_view code, std::int32_t row)
{
    std::size_t a = 0;
    const std::string_view w1 = FirstWord(code, a);
    if (!w1.empty()) {
        std::size_t b = 0;
        if (SameWord(w1, "REPT") || SameWord(w1, "IRP") || SameWord(w1, "IRPC") ||
            SameWord(FirstWord(code.substr(a), b), "MACRO")) {
            ++m_defDepth;
        } else if (SameWord(w1, "ENDM") && --m_defDepth == 0) {
            Finish(row);
            return;
        }
    }
    m_def.body.push_back(line);
}

void Reader::Finish(std::int32_t row)
{
    m_defining = false;
    for (std::string_view line : m_def.body) {
        std::size_t after = 0;
        const std::string_view code = TrimBlanks(line.substr(0, CommentStart(line)));
        if (SameWord(FirstWord(code, after), "LOCAL"))
            for (std::string& n : Names(code.substr(after)))
                m_def.locals.push_back(std::move(n));
    }
    if (m_defKind == 0) {
        const std::string key = UpperCase(m_def.name);
        if (const auto it = m_macros.find(key); it != m_macros.end()) {
            m_ctx.Error(m_def.row, "macro " + m_def.name + " is already defined " +
                                       (m_ctx.RunOf(it->second.row).file == m_ctx.RunOf(m_def.row).file ? "on " : "at ") +
                                       m_ctx.Where(it->second.row));
            return;
        }
        m_macros.emplace(key, std::move(m_def));
        return;
    }
    Repeat r;
    r.count = m_defKind == 1 ? m_defCount : static_cast<std::int64_t>(m_defItems.size());
    r.items = std::move(m_defItems);
    r.def = std::move(m_def);
    if (r.count == 0 || r.def.body.empty())
        return;
    m_repeats.push_back(std::move(r));
    const auto index = static_cast<std::int32_t>(m_repeats.size() - 1);
    const MacroDef& def = m_repeats.back().def;
    Expand(def, m_repeats.back().items.empty() ? std::vector<std::string>{} : std::vector<std::string>{m_repeats.back().items[0]},
           row, NewOrigin(row, def.shown, false), index);
}

void Reader::Call(const MacroDef& def, std::string_view args, std::int32_t row)
{
    std::vector<std::string> values = Arguments(args);
    if (values.size() > def.params.size() && !(def.params.empty() && values.size() == 1 && values[0].empty())) {
        m_ctx.Error(row, "macro " + def.name + " takes " + std::to_string(def.params.size()) +
                             (def.params.size() == 1 ? " parameter, " : " parameters, ") + "not " +
                             std::to_string(values.size()));
        return;
    }
    values.resize(def.params.size());
    Expand(def, values, row, NewOrigin(row, def.shown, false), -1);
}

// Reports the first limit met; after it no expansion is made.
bool Reader::Limited(std::int32_t row)
{
    if (m_limitHit)
        return true;
    if (m_macroDepth >= kMaxMacroDepth) {
        m_ctx.Error(row, "macro calls nested deeper than " + std::to_string(kMaxMacroDepth) +
                             " (a macro that calls itself without end?)");
    } else if (m_expandedLines > kMaxExpandedLines || m_expandedBytes > kMaxExpandedBytes) {
        m_ctx.Error(row, "macro expansions pass the limit of " + std::to_string(kMaxExpandedLines) + " lines or " +
                             std::to_string(kMaxExpandedBytes >> 20) + " MB (a huge REPT, or a macro without end?)");
    } else {
        return false;
    }
    m_limitHit = true;
    m_ctx.errorsAtStop = m_ctx.errors.size();
    return true;
}

bool Reader::Generate(const MacroDef& def, const std::vector<std::string>& values, std::int32_t row,
                      std::string_view& text)
{
    m_expandedLines += static_cast<std::int64_t>(def.body.size()) + 1;
    if (Limited(row))
        return false;
    std::vector<std::string> names = def.params, all = values;
    for (const std::string& local : def.locals) {
        char name[16];
        std::snprintf(name, sizeof name, "??%04X", static_cast<unsigned>(m_localCount++ & 0xFFFFF));
        names.push_back(local);
        all.emplace_back(name);
    }
    std::string& out = m_scratch;
    out.clear();
    for (std::string_view line : def.body) {
        Substitute(out, line, names, all);
        out += '\n';
    }
    m_expandedBytes += static_cast<std::int64_t>(out.size());
    if (Limited(row))
        return false;
    // Into the current chunk while it has room: views into it stay valid.
    constexpr std::size_t kChunk = 1 << 20;
    std::deque<std::string>& chunks = m_ctx.expansions;
    if (chunks.empty() || chunks.back().capacity() - chunks.back().size() < out.size()) {
        chunks.emplace_back();
        chunks.back().reserve(std::max(kChunk, out.size()));
    }
    const std::size_t at = chunks.back().size();
    chunks.back() += out;
    text = std::string_view(chunks.back()).substr(at, out.size());
    return true;
}

bool Reader::Expand(const MacroDef& def, const std::vector<std::string>& values, std::int32_t row,
                    std::int32_t origin, std::int32_t repeat)
{
    if (Limited(row))
        return false;
    Frame f;
    if (!Generate(def, values, row, f.text))
        return false;
    f.file = def.file;
    f.nextLine = def.firstLine;
    f.origin = origin;
    f.id = ++m_frameIds;
    f.expansion = true;
    f.conditionals = m_conditionals.size();
    f.repeat = repeat;
    m_frames.push_back(f);
    ++m_macroDepth;
    return true;
}

bool Reader::NextRepetition(Frame& f)
{
    Repeat& r = m_repeats[static_cast<std::size_t>(f.repeat)];
    if (++r.next >= r.count)
        return false;
    if (m_conditionals.size() > f.conditionals) {
        m_ctx.Error(m_conditionals.back().row, "IF without ENDIF before the end of the repetition");
        m_conditionals.resize(f.conditionals);
    }
    std::vector<std::string> values;
    if (!r.items.empty())
        values.push_back(r.items[static_cast<std::size_t>(r.next)]);
    std::string_view text;
    if (!Generate(r.def, values, m_ctx.origins[static_cast<std::size_t>(f.origin)].parentRow, text))
        return false;
    f.text = text;
    f.nextLine = r.def.firstLine;
    f.id = ++m_frameIds;
    return true;
}

void Reader::ExitMacro(std::int32_t row)
{
    std::size_t k = m_frames.size();
    while (k > 0 && !m_frames[k - 1].expansion)
        --k;
    if (k == 0) {
        m_ctx.Error(row, "EXITM outside a macro");
        return;
    }
    // Conditionals opened inside the expansion end with it.
    m_conditionals.resize(std::min(m_conditionals.size(), m_frames[k - 1].conditionals));
    while (m_frames.size() >= k)
        PopFrame();
}

} // namespace m51asm
