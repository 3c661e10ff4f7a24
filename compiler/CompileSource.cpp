// The compile driver: the procedure pass, the inline pass and the main pass
// over the source lines, the source model (statement, comment, words) and the
// file-name helpers.

#include "compiler/Compiler.h"

#include "compiler/CompileContext.h"
#include "compiler/Language.h"
#include "compiler/MyVision.h"
#include "common/PlainText.h"
#include "compiler/Translator.h"

#include <algorithm>

namespace m51 {

using namespace MyVision;
using language::ForEachWord;
using language::StatementOf;

namespace {

constexpr std::size_t kWordSlots = 10;

// The cleaned line: the statement with every run of blanks reduced to one.
void CleanInto(std::string_view statement, std::string& out)
{
    out.resize(statement.size());
    char* const first = out.data();
    char* p = first;
    bool blank = false;
    for (char c : statement) {
        if (c == ' ' && blank)
            continue;
        blank = c == ' ';
        *p++ = c;
    }
    out.resize(static_cast<std::size_t>(p - first));
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

// Quick tests that let the collecting passes skip most lines unread. A line
// whose statement begins with PROCEDURE has P or p as its first byte above
// the blank.
bool MayStartWithP(std::string_view line)
{
    for (char ch : line)
        if (static_cast<unsigned char>(ch) > ' ')
            return ch == 'P' || ch == 'p';
    return false;
}

// A line whose word 2 or 3 is INLINE (in any case) holds that text before its
// first ";".
bool MentionsInline(std::string_view line)
{
    static constexpr std::string_view kWord = "INLINE";
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        const char ch = line[i];
        if (ch == ';')
            return false;
        if ((ch == 'I' || ch == 'i') && EqualsUpper(line.substr(i, kWord.size()), kWord))
            return true;
    }
    return false;
}

std::string LineNumber(std::size_t index)
{
    return std::to_string(index);
}

// Pass 1: every PROCEDURE line adds its entry; a name already in the list is
// reported once for every entry that carries it (duplicate reports included),
// up to kMaxRepeats times and then once for all the rest.
template <class Line>
void CollectProcedures(std::span<const Line> lines, CompileContext& c)
{
    std::int64_t reported = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!MayStartWithP(lines[i]))
            continue;
        const int line = static_cast<int>(i);
        const std::optional<std::string_view> declared = language::DeclaredProcedure(lines[i]);
        if (!declared)
            continue;
        const std::string_view name = *declared;
        const std::string upperName = UpperText(name);
        const std::int64_t earlier = c.ProcBox.CountNamed(upperName);
        const std::int64_t written = std::min({earlier, kMaxRepeats, kMaxRepeatsPerCompile - reported});
        reported += written;
        // The reports left out still count as entries named ERROR.
        c.ProcBox.AddReports({line, LineNumber(i) + " ERROR - Duplicate " + std::string(name)}, written, earlier);
        if (written > 0) {
            c.AddError(line, ErrorKind::DuplicateProcedure, "Duplicate procedure " + std::string(name));
            const ListEntry entry = c.ErBox.back();
            const Diagnostic diagnostic = c.Diagnostics.back();
            c.ErBox.insert(c.ErBox.end(), static_cast<std::size_t>(written - 1), entry);
            c.Diagnostics.insert(c.Diagnostics.end(), static_cast<std::size_t>(written - 1), diagnostic);
        }
        if (earlier > written)
            c.AddError(line, ErrorKind::MoreDuplicates,
                       "... and " + std::to_string(earlier - written) + " more duplicates of " + std::string(name));
        c.ProcBox.Add({line, LineNumber(i) + " " + upperName});
        c.ProcedureNames.push_back(upperName);
    }
}

// Pass 2: a line whose word 2 or word 3 is INLINE carries a block, the
// translation of the words after that keyword (all upper-cased).
template <class Line>
void CollectInlineBlocks(std::span<const Line> lines, CompileContext& c)
{
    c.InlineCounter = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!MentionsInline(lines[i]))
            continue;
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

// A line whose inline block holds a further INLINE: the collection takes
// the block from after the first or second INLINE only, so an inner
// condition is left out and the block numbers no longer pair.
bool HoldsNestedInline(const std::array<std::string, kWordSlots>& words)
{
    if (!EqualsUpper(words[1], "INLINE") && !EqualsUpper(words[2], "INLINE"))
        return false;
    return std::count_if(words.begin() + 1, words.end(), [](const std::string& w) { return EqualsUpper(w, "INLINE"); }) > 1;
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
        // The first ";" (one search for both) ends the statement; the comment
        // runs from after that run of ";" to the next one.
        const std::size_t semicolon = line.find(';');
        const std::string_view statement = TrimView(line.substr(0, semicolon));
        std::string_view comment;
        if (semicolon != std::string_view::npos) {
            std::string_view rest = line.substr(semicolon);
            rest.remove_prefix(std::min(rest.find_first_not_of(';'), rest.size()));
            comment = TrimView(rest.substr(0, rest.find(';')));
        }
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
            if (c.MainLine.empty()) {
                joined.assign("    ;");
            } else {
                joined.assign(c.MainLine);
                joined.append("     ;");
            }
            joined.append(comment);
            sink.Line(joined, source);
        } else if (!c.MainLine.empty()) {
            sink.Line(c.MainLine, source);
        } else {
            sink.Line(" ", source);
        }
        // A statement that gives no main line is reported, with or without a
        // comment: a misspelt keyword must not vanish behind its comment. So
        // is one whose only line is the exit label that its mention of
        // EXITPROC added: no statement made code.
        if ((c.MainLine.empty() || c.ExitLabelOnly) && !c.CleanedLine.empty())
            c.AddError(source, ErrorKind::UnknownStatement, c.CleanedLine);
        if (HoldsNestedInline(c.StatementWords))
            c.AddError(source, ErrorKind::NestedInline, "INLINE inside an inline block");
        for (const std::string& extra : c.LB)
            sink.Line(extra, source);
    }
    for (const auto& [number, line] : c.OpenWhileLoops)
        c.AddError(line, ErrorKind::WhileWithoutEndwhile, "WHILE loop without ENDWHILE");
}

template <class Line>
CompileResult Compile(std::span<const Line> lines, OutputSink& sink)
{
    CompileContext c;
    CollectProcedures(lines, c);
    std::vector<ListEntry> duplicates = std::move(c.ErBox);
    std::vector<Diagnostic> duplicateDiagnostics = std::move(c.Diagnostics);
    c.ErBox.clear();
    c.Diagnostics.clear();
    c.ProcBox.Compact();
    CollectInlineBlocks(lines, c);
    c.InlineBox.Compact();

    // Reports of the translator during the inline pass are dropped; the
    // duplicate reports head the error list.
    c.ErBox = std::move(duplicates);
    c.Diagnostics = std::move(duplicateDiagnostics);
    c.LoopCounter = 0;
    c.WhileCounter = 0;
    c.OpenWhileLoops.clear();
    c.ExitCounter = 0;
    c.ExitPending = false;
    c.InlineCounter = 0;
    TranslateLines(lines, c, sink);

    CompileResult result;
    result.ProcBox = c.ProcBox.TakeEntries();
    result.Definebox = std::move(c.Definebox);
    result.InlineBox = c.InlineBox.TakeEntries();
    result.ErBox = std::move(c.ErBox);
    result.Diagnostics = std::move(c.Diagnostics);
    result.ProcedureNames = std::move(c.ProcedureNames);
    result.DefinedNames = std::move(c.DefinedNames);
    result.Definitions = std::move(c.Definitions);
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
    // Room for one line per LF, so that the vector of a large file is never
    // copied while it grows.
    lines.reserve(LineCountGuess(bytes));
    ForEachLine(bytes, [&](std::string_view line, std::int32_t) {
        lines.push_back(make(line));
        return true;
    });
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
