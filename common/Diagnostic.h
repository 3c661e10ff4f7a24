#pragma once
// One problem found while building a program, as a value: where it is (file,
// line, column), how bad it is, which stage of the build found it and what it
// says. Zelvar's error list, the editor's error markers and annotations, its
// status bar and m51c's printed errors all read these; none of them takes a
// problem apart from its displayed text.
//
// The compiler's own error list keeps its entry texts ("12 binary value")
// exactly; each of its entries has a diagnostic beside it that carries the
// same facts as values, and the kind says why the entry was made.

#include <string>
#include <string_view>
#include <vector>

namespace m51 {

enum class Severity { Error, Warning, Note };

// The stage of the build that found the problem.
enum class Stage {
    Compiler,     // M51 to assembly
    Assembler,    // assembly to code
    BuildScript,  // the user's build script (Debug), another program's output
    Files         // reading or writing the build's files
};

// Why the compiler made an error entry.
enum class ErrorKind {
    Other,                // assembler, build script and file problems
    UnknownStatement,     // a statement that made no code; its text is the statement
    DuplicateProcedure,
    MoreDuplicates,       // "... and N more duplicates / calls of X"
    BinaryVariable,
    VariableAbove207,
    NegativeVariable,
    WhileWithoutEndwhile,
    EndwhileWithoutWhile,
    NestedInline,
};

struct Diagnostic {
    std::string file;     // the file the line is in; empty: the current source
    int line = 0;         // 1-based line in `file`; 0: the file as a whole
    int column = 0;       // 1-based; 0: not known
    Severity severity = Severity::Error;
    Stage stage = Stage::Compiler;
    ErrorKind kind = ErrorKind::Other;
    std::string message;  // code page 1250: the statement, "binary value", an assembler's words
    std::string context;  // how the line was reached: "included from main.a51:3", a macro call
    int asmLine = 0;      // an assembler error on an M51 line: the line of the generated assembly too

    bool operator==(const Diagnostic&) const = default;
};

// Why an entry of `kind` was made, in words ("unknown statement, no code
// generated", "variables run from 0 to 207"); empty for ErrorKind::Other.
std::string_view ErrorReason(ErrorKind kind);

// The stage in words, as the error list names it: "compiler", "assembler",
// "build script", "files".
std::string_view StageName(Stage stage);

// The text after "file:line: ": a statement that made no code gets its reason
// in front ("unknown statement, no code generated: XYZZY 3"), an assembler
// error on an M51 line the assembly line behind ("(assembly line 7)"), then
// the context. Source text is quoted without control bytes and cut when long.
std::string DiagnosticText(const Diagnostic& d);

// "file:line: text" (":line" left out for line 0); `file` names the
// diagnostic's file when it has none of its own.
std::string FormatDiagnostic(const Diagnostic& d, std::string_view file);

// How many of `diagnostics` are errors.
std::size_t ErrorCount(const std::vector<Diagnostic>& diagnostics);

} // namespace m51
