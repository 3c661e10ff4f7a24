#pragma once
// The M51 compiler's public face: one compile of the editor's lines into 8051
// assembly lines and the four lists the main window shows. All text is code
// page 1250 bytes; nothing here touches files or Qt.

#include "common/Diagnostic.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace m51 {

// One entry of a result list: the text the list shows and the 0-based source
// line it refers to (-1 for none), so that a double click needs no parsing.
struct ListEntry {
    int line = -1;
    std::string text;
    bool operator==(const ListEntry&) const = default;
};

// A name the source defines with DEFINE (a number) or DEFINEBIT (a bit):
// the debugger's watches and break conditions know it by its name.
struct Definition {
    int line = -1;        // 0-based source line
    std::string name;     // as written
    std::string value;    // the value word as written ("30H", "P1.0")
    bool bit = false;     // DEFINEBIT
    bool operator==(const Definition&) const = default;
};

// What one compile leaves behind. The text of every entry of ProcBox, Definebox
// and ErBox begins with the 0-based source line index and a blank.
struct CompileResult {
    std::vector<std::string> Output;     // the ASM window's lines, in source order
    std::vector<int> LineMap;            // the 0-based source line of each output line
    std::vector<ListEntry> ProcBox;      // procedures (and duplicate reports)
    std::vector<ListEntry> Definebox;    // names defined with DEFINE
    std::vector<ListEntry> InlineBox;    // "INLINE n", the block's lines, "INLINEEND"
    std::vector<ListEntry> ErBox;        // errors
    // One diagnostic for each entry of ErBox, in the same order: its line
    // (1-based), its kind and the message the entry shows after its line index.
    std::vector<Diagnostic> Diagnostics;
    // The names the source defines: procedures (upper-cased, as ProcBox lists
    // them) and DEFINE names (as written), for colouring and completion.
    std::vector<std::string> ProcedureNames;
    std::vector<std::string> DefinedNames;
    // Every DEFINE and DEFINEBIT in source order.
    std::vector<Definition> Definitions;
};

// The texts of a list's entries, in order.
std::vector<std::string> EntryTexts(const std::vector<ListEntry>& entries);

// Runs the three passes over the source lines (line 0 first) with a fresh context.
CompileResult CompileSource(const std::vector<std::string>& sourceLines);

// Receives the output lines of a compile one at a time, in order, each with the
// 0-based source line that produced it. The view is valid only during the call.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Line(std::string_view line, int sourceLine) = 0;
};

// The same compile, handing every output line to `sink` as soon as it is made
// instead of keeping it (result.Output and result.LineMap stay empty): a large
// source then needs no memory for its output. The command-line compiler streams
// into its file.
CompileResult CompileSource(std::span<const std::string_view> sourceLines, OutputSink& sink);

// Splits file bytes into lines as the editor loads them: at CR LF, LF or a lone
// CR; a final line break adds no empty line; an empty file gives no lines.
std::vector<std::string> SplitSourceLines(std::string_view bytes);
// The same lines as views into `bytes`.
std::vector<std::string_view> SplitSourceLineViews(std::string_view bytes);

// The path cut before the first "." of its file-name part and trimmed:
// "C:\my.dir\blink.M51" gives "C:\my.dir\blink", "prog.v2.M51" and "prog .M51" give "prog".
// Both "/" and "\" separate folders. Used for every generated file name.
std::string BaseName(std::string_view path);

// BaseName(path) + ".asm".
std::string AsmFileName(std::string_view sourcePath);

} // namespace m51
