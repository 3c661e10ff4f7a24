#pragma once
// The M51 compiler's public face: one compile of the editor's lines into 8051
// assembly lines and the four lists the main window shows. All text is code
// page 1250 bytes; nothing here touches files or Qt.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace m51 {

// What one compile leaves behind. Every entry of ProcBox, Definebox and ErBox
// begins with the 0-based source line index and a blank.
struct CompileResult {
    std::vector<std::string> Output;     // the ASM window's lines, in source order
    std::vector<std::string> ProcBox;    // procedures (and duplicate reports)
    std::vector<std::string> Definebox;  // names defined with DEFINE
    std::vector<std::string> InlineBox;  // "INLINE n", the block's lines, "INLINEEND"
    std::vector<std::string> ErBox;      // errors
};

// Runs the three passes over the source lines (line 0 first) with a fresh context.
CompileResult CompileSource(const std::vector<std::string>& sourceLines);

// Receives the output lines of a compile one at a time, in order. The view is
// valid only during the call.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Line(std::string_view line) = 0;
};

// The same compile, handing every output line to `sink` as soon as it is made
// instead of keeping it (result.Output stays empty): a large source then needs
// no memory for its output. The command-line compiler streams into its file.
CompileResult CompileSource(std::span<const std::string_view> sourceLines, OutputSink& sink);

// Splits file bytes into lines as the editor loads them: at CR LF, LF or a lone
// CR; a final line break adds no empty line; an empty file gives no lines.
std::vector<std::string> SplitSourceLines(std::string_view bytes);
// The same lines as views into `bytes`.
std::vector<std::string_view> SplitSourceLineViews(std::string_view bytes);

// The path cut before the first "." of its file-name part:
// "C:\my.dir\blink.M51" gives "C:\my.dir\blink", "prog.v2.M51" gives "prog".
// Both "/" and "\" separate folders. Used for every generated file name.
std::string BaseName(std::string_view path);

// BaseName(path) + ".asm".
std::string AsmFileName(std::string_view sourcePath);

} // namespace m51
