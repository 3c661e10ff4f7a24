// The compile driver: the procedure pass, the inline pass and the main pass
// over the source lines, the source model (statement, comment, words) and the
// file-name helpers.

#include "Compiler.h"

#include "CompileContext.h"
#include "MyVision.h"
#include "Translator.h"

#include <algorithm>

namespace m51 {

using namespace MyVision;

namespace {

constexpr std::size_t kWordSlots = 10;

// The statement of a line: the text before its first ";", trimmed; blank runs
// are still in it (they separate words like single blanks).
std::string_view StatementOf(std::string_view line)
{
    return TrimView(line.substr(0, line.find(';')));
}

// The comment: the trimmed text between the first ";" (or run of them) and the next.
std::string_view CommentOf(std::string_view line)
{
    if (line.find(';') == std::string_view::npos)
        return {};
    return ExtractFieldView(';', line, 2);
}

// The cleaned line: the statement with every run of blanks reduced to one.
void CleanInto(std::string_view statement, std::string& out)
{
    out.clear();
    out.reserve(statement.size());
    for (char c : statement)
        if (c != ' ' || out.empty() || out.back() != ' ')
            out.push_back(c);
}

// Calls f(k, word) for words k = 1 .. maxWords of a statement: the fields
// between runs of blanks, each trimmed (a tab stays inside its word, but a
// word loses control bytes at its ends). An empty statement has one empty word.
template <class F>
void ForEachWord(std::string_view statement, std::size_t maxWords, F&& f)
{
    std::size_t start = 0;
    for (std::size_t k = 1; k <= maxWords; ++k) {
        const std::size_t blank = statement.find(' ', start);
        const std::size_t end = blank == std::string_view::npos ? statement.size() : blank;
        f(k, TrimView(statement.substr(start, end - start)));
        if (blank == std::string_view::npos)
            return;
        start = blank;
        while (start < statement.size() && statement[start] == ' ')
            ++start;
    }
}

std::string_view WordOf(std::string_view statement, std::size_t k)
{
    std::string_view word;
    ForEachWord(statement, k, [&](std::size_t i, std::string_view w) {
        if (i == k)
            word = w;
    });
    return word;
}

// Offset of word k (trimmed) in a cleaned line; the line's length when it has
// fewer words.
std::size_t WordStart(std::string_view cleaned, std::size_t k)
{
    std::size_t start = 0;
    for (std::size_t word = 1; word < k; ++word) {
        const std::size_t blank = cleaned.find(' ', start);
        if (blank == std::string_view::npos)
            return cleaned.size();
        start = blank + 1;
    }
    while (start < cleaned.size() && static_cast<unsigned char>(cleaned[start]) <= 32)
        ++start;
    return start;
}

std::string LineNumber(std::size_t index)
{
    return std::to_string(index);
}

// Pass 1: every PROCEDURE line adds its entry; a name already in the list is
// reported once for every entry that carries it (duplicate reports included),
// up to kMaxRepeats times and then once for all the rest.
template <class Line>
void CollectProcedures(std::span<const Line> lines, CompileContext& c, std::vector<ListEntry>& duplicates)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int line = static_cast<int>(i);
        const std::string_view statement = StatementOf(lines[i]);
        if (!EqualsUpper(WordOf(statement, 1), "PROCEDURE"))
            continue;
        const std::string_view name = WordOf(statement, 2);
        const std::string upperName = UpperText(name);
        const std::int64_t earlier = c.ProcBox.CountNamed(upperName);
        const std::int64_t written = std::min(earlier, kMaxRepeats);
        // The reports left out still count as entries named ERROR.
        c.ProcBox.AddReports({line, LineNumber(i) + " ERROR - Duplicate " + std::string(name)}, written, earlier);
        if (written > 0)
            duplicates.insert(duplicates.end(), static_cast<std::size_t>(written),
                              {line, LineNumber(i) + " Duplicate procedure " + std::string(name)});
        if (earlier > written)
            duplicates.push_back({line, LineNumber(i) + " ... and " + std::to_string(earlier - written) +
                                            " more duplicates of " + std::string(name)});
        c.ProcBox.Add({line, LineNumber(i) + " " + upperName});
    }
}

// Pass 2: a line whose word 2 or word 3 is INLINE carries a block, the
// translation of the words after that keyword (all upper-cased).
template <class Line>
void CollectInlineBlocks(std::span<const Line> lines, CompileContext& c)
{
    c.InlineCounter = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view statement = StatementOf(lines[i]);
        std::string_view second, third;
        ForEachWord(statement, 3, [&](std::size_t k, std::string_view w) {
            if (k == 2)
                second = w;
            else if (k == 3)
                third = w;
        });
        if (!EqualsUpper(second, "INLINE") && !EqualsUpper(third, "INLINE"))
            continue;

        auto& slots = c.StatementWords;
        for (auto& s : slots)
            s.clear();
        ForEachWord(statement, kWordSlots + 1, [&](std::size_t k, std::string_view w) {
            if (k >= 2)
                slots[k - 2] = UpperText(w);
        });
        std::size_t firstWord = 2;  // the line's word that slot 1 holds
        if (slots[0] == "INLINE") {
            std::move(slots.begin() + 1, slots.end(), slots.begin());
            slots[9].clear();
            firstWord += 1;
        }
        if (slots[1] == "INLINE") {
            std::move(slots.begin() + 2, slots.end(), slots.begin());
            slots[8].clear();
            slots[9].clear();
            firstWord += 2;
        }
        CleanInto(statement, c.CleanedLine);
        c.StatementStart = WordStart(c.CleanedLine, firstWord);
        c.FirstTwoWords.clear();
        c.LineIndex = 0;
        c.SourceLine = static_cast<int>(i);

        ++c.InlineCounter;
        c.InlineBox.Add({c.SourceLine, "INLINE " + std::to_string(c.InlineCounter)});
        TranslateStatement(c);
        for (std::string* line : {&c.LoadLine, &c.CarryLine, &c.CompareLine, &c.MainLine})
            if (!line->empty())
                c.InlineBox.Add({c.SourceLine, *line});
        for (std::string& line : c.LB)
            c.InlineBox.Add({c.SourceLine, std::move(line)});
        c.InlineBox.Add({c.SourceLine, "INLINEEND"});
    }
}

// Pass 3: every line is translated and written with its comment; a line that
// yields nothing writes one blank, and a statement left untranslated is reported.
template <class Line>
void TranslateLines(std::span<const Line> lines, CompileContext& c, OutputSink& sink)
{
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        c.ExitTaken = false;
        const std::string_view statement = StatementOf(line);
        const std::string_view comment = CommentOf(line);
        CleanInto(statement, c.CleanedLine);
        c.StatementStart = 0;

        auto& w = c.StatementWords;
        for (auto& s : w)
            s.clear();
        ForEachWord(statement, kWordSlots, [&](std::size_t k, std::string_view word) { w[k - 1] = word; });
        for (char& ch : w[0])
            ch = UpperChar(ch);
        c.FirstTwoWords = w[0];
        c.FirstTwoWords += ' ';
        for (char ch : w[1])
            c.FirstTwoWords += UpperChar(ch);
        c.LineIndex = static_cast<std::int64_t>(i);
        const int source = static_cast<int>(i);
        c.SourceLine = source;

        TranslateStatement(c);

        for (const std::string* before : {&c.LoadLine, &c.CarryLine, &c.CompareLine})
            if (!before->empty())
                sink.Line(*before, source);
        if (!comment.empty()) {
            joined.assign(c.MainLine.empty() ? "    ;" : c.MainLine + "     ;");
            joined.append(comment);
            sink.Line(joined, source);
        } else if (!c.MainLine.empty()) {
            sink.Line(c.MainLine, source);
        } else {
            sink.Line(" ", source);
        }
        // A statement that gives no main line is reported, with or without a
        // comment: a misspelt keyword must not vanish behind its comment.
        if (c.MainLine.empty() && !c.CleanedLine.empty())
            c.ErBox.push_back({source, LineNumber(i) + " " + c.CleanedLine});
        for (const std::string& extra : c.LB)
            sink.Line(extra, source);
    }
}

template <class Line>
CompileResult Compile(std::span<const Line> lines, OutputSink& sink)
{
    CompileContext c;
    std::vector<ListEntry> duplicates;
    CollectProcedures(lines, c, duplicates);
    c.ProcBox.Compact();
    CollectInlineBlocks(lines, c);
    c.InlineBox.Compact();

    // Reports of the translator during the inline pass are dropped; the
    // duplicate reports head the error list.
    c.ErBox = std::move(duplicates);
    c.LoopCounter = 0;
    c.WhileCounter = 0;
    c.ExitCounter = 0;
    c.ExitPending = false;
    c.InlineCounter = 0;
    TranslateLines(lines, c, sink);

    CompileResult result;
    result.ProcBox = c.ProcBox.TakeEntries();
    result.Definebox = std::move(c.Definebox);
    result.InlineBox = c.InlineBox.TakeEntries();
    result.ErBox = std::move(c.ErBox);
    return result;
}

class VectorSink : public OutputSink {
public:
    VectorSink(std::vector<std::string>& out, std::vector<int>& map) : m_out(out), m_map(map) {}
    void Line(std::string_view line, int sourceLine) override
    {
        m_out.emplace_back(line);
        m_map.push_back(sourceLine);
    }

private:
    std::vector<std::string>& m_out;
    std::vector<int>& m_map;
};

template <class Out, class Make>
std::vector<Out> SplitLines(std::string_view bytes, Make make)
{
    std::vector<Out> lines;
    std::size_t count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            ++count;
    lines.reserve(count + 1);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const char* p = bytes.data() + pos;
        const std::size_t rest = bytes.size() - pos;
        std::size_t end = pos + rest;
        for (std::size_t j = 0; j < rest; ++j)
            if (p[j] == '\n' || p[j] == '\r') {
                end = pos + j;
                break;
            }
        lines.push_back(make(bytes.substr(pos, end - pos)));
        if (end == bytes.size())
            break;
        pos = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? end + 2 : end + 1;
    }
    return lines;
}

} // namespace

CompileResult CompileSource(const std::vector<std::string>& sourceLines)
{
    std::vector<std::string> output;
    std::vector<int> map;
    // Room for a typical expansion; pages that stay unused are never touched.
    output.reserve(sourceLines.size() * 2);
    map.reserve(sourceLines.size() * 2);
    VectorSink sink(output, map);
    CompileResult result = Compile(std::span<const std::string>(sourceLines), sink);
    result.Output = std::move(output);
    result.LineMap = std::move(map);
    return result;
}

CompileResult CompileSource(std::span<const std::string_view> sourceLines, OutputSink& sink)
{
    return Compile(sourceLines, sink);
}

std::vector<std::string> EntryTexts(const std::vector<ListEntry>& entries)
{
    std::vector<std::string> texts;
    texts.reserve(entries.size());
    for (const ListEntry& e : entries)
        texts.push_back(e.text);
    return texts;
}

std::vector<std::string> SplitSourceLines(std::string_view bytes)
{
    return SplitLines<std::string>(bytes, [](std::string_view l) { return std::string(l); });
}

std::vector<std::string_view> SplitSourceLineViews(std::string_view bytes)
{
    return SplitLines<std::string_view>(bytes, [](std::string_view l) { return l; });
}

std::string BaseName(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.find('.', nameStart);
    // Trimmed as a field is: "prog .M51" gives "prog".
    return std::string(TrimView(path.substr(0, dot)));
}

std::string AsmFileName(std::string_view sourcePath)
{
    return BaseName(sourcePath) + ".asm";
}

} // namespace m51
