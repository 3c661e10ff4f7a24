#pragma once
// The reader between the files and the parser: it reads the source line by
// line, enters include files, collects and expands macros (MACRO, REPT, IRP,
// IRPC), skips what conditional assembly leaves out, carries out the controls
// ($INCLUDE, $MOD51, $NOLIST, $GEN ...) and hands every remaining line to the
// parser. Every line read becomes a row; rows are grouped into runs for the
// listing and the error positions.
//
// Hostile sources end with an error that names the limit: include nesting,
// macro nesting (a macro calling itself) and the total size of all expansions.

#include "assembler/Characters.h"
#include "assembler/Context.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace m51asm {

inline constexpr int kMaxIncludeDepth = 16;
inline constexpr int kMaxMacroDepth = 64;
inline constexpr std::int64_t kMaxExpandedLines = 1'000'000;
inline constexpr std::int64_t kMaxExpandedBytes = 128 << 20;
inline constexpr std::int64_t kMaxIncludes = 100'000;

// A macro, or the body of a REPT, IRP or IRPC.
struct MacroDef {
    std::string name;                   // as written; "REPT", "IRP", "IRPC" for those
    std::string_view shown;             // the same in text that lives as long as the run (for errors)
    std::int32_t row = 0;               // the MACRO line
    std::vector<std::string> params;    // upper case
    std::vector<std::string> locals;    // LOCAL names, upper case
    std::vector<std::string_view> body;
    std::int32_t file = 0;              // where the body is written
    std::int32_t firstLine = 0;         // its first line there
};

// One text being read: a file, or one repetition of an expansion.
struct Frame {
    std::string_view text;      // what is left
    std::int32_t file = 0;
    std::int32_t nextLine = 1;  // the number of the next line in `file`
    std::int32_t origin = 0;
    std::int32_t id = 0;        // a new run starts whenever the frame read from changes
    bool expansion = false;
    std::size_t conditionals = 0;  // depth of the conditional stack when it began
    // A REPT, IRP or IRPC still to repeat: its body and what is left.
    std::int32_t repeat = -1;
};

struct Repeat {
    MacroDef def;
    std::vector<std::string> items;  // IRP, IRPC: one repetition each
    std::int64_t count = 0;          // REPT
    std::int64_t next = 0;
};

// One open IF (or $IF).
struct Conditional {
    std::int32_t row = 0;
    bool outerActive = true;  // the lines around it are assembled
    bool active = true;       // this branch is assembled
    bool taken = false;       // some branch was
    bool elseSeen = false;
    bool control = false;     // $IF rather than IF
    bool cpp = false;         // #if, #ifdef, #ifndef
};

// "IF", "$IF" or "#if" and the word that closes it, as messages name them.
inline const char* IfWord(const Conditional& c)
{
    return c.cpp ? "#if" : c.control ? "$IF" : "IF";
}
inline const char* EndifWord(const Conditional& c)
{
    return c.cpp ? "#endif" : c.control ? "$ENDIF" : "ENDIF";
}

class Reader {
public:
    explicit Reader(Context& ctx) : m_ctx(ctx) {}
    void Run();

private:
    // Reader.cpp
    void Line(std::string_view line, std::int32_t row);
    void Controls(std::string_view text, std::int32_t row);
    bool ModControl(std::string_view word, std::int32_t row);
    void Include(std::string_view name, std::int32_t row, const char* how);
    bool Resolve(std::string_view name, std::int32_t& file);
    void StartRun(const Frame& f, std::string_view line, std::int32_t row);
    std::int32_t NewOrigin(std::int32_t parentRow, std::string_view macro, bool include);
    void PopFrame();

    // Conditionals.cpp
    bool ConditionalLine(std::string_view word, std::string_view rest, std::int32_t row, bool control);
    bool Condition(std::string_view word, std::string_view rest, std::int32_t row, bool control);
    bool ValueOf(std::string_view text, std::int32_t row, const char* what, std::int32_t& value);
    void ControlVariables(std::string_view args, bool set, std::int32_t row);
    bool Skipping() const { return !m_conditionals.empty() && !m_conditionals.back().active; }

    // Preprocessor.cpp: the C preprocessor lines of Keil sources, their
    // comments, and the names of #define replaced in the lines that follow.
    std::string_view WithoutCComments(std::string_view line);
    bool PreprocessorLine(std::string_view code, std::int32_t row);
    // Empty when nothing is left of the line, or a call in it was refused.
    std::string_view ReplaceDefines(std::string_view code, std::int32_t row);
    bool DefineWithParameters(std::string_view name, std::string_view rest, std::int32_t row);
    bool ExpandCall(const std::string& name, std::string_view code, std::size_t& at, std::string& out,
                    std::int32_t row, bool report);
    bool CppCondition(std::string_view text, std::int32_t row);

    // Macros.cpp
    bool MacroLine(std::string_view code, std::string_view w1, std::size_t after1, std::int32_t row);
    void BeginDefinition(std::int32_t row);
    void Collect(std::string_view line, std::string_view code, std::int32_t row);
    void Finish(std::int32_t row);
    void Call(const MacroDef& def, std::string_view args, std::int32_t row);
    bool Expand(const MacroDef& def, const std::vector<std::string>& values, std::int32_t row,
                std::int32_t origin, std::int32_t repeat);
    bool Generate(const MacroDef& def, const std::vector<std::string>& values, std::int32_t row,
                  std::string_view& text);
    bool NextRepetition(Frame& f);
    void ExitMacro(std::int32_t row);
    bool Limited(std::int32_t row);

    Context& m_ctx;
    std::vector<Frame> m_frames;
    std::int32_t m_frameIds = 0;
    std::int32_t m_runFrame = -1;  // id of the frame the current run reads
    std::vector<Conditional> m_conditionals;
    std::unordered_map<std::string, std::int32_t> m_controlVariables;  // $SET names, upper case
    std::unordered_map<std::string, std::string> m_defines;  // #define names, as written (C: case counts)
    // #define NAME(a, b) body: the parameters and the body (also in
    // m_defines, with the body, so that #ifdef and defined() see it).
    struct DefineCall {
        std::vector<std::string> parameters;
        std::string body;
    };
    std::unordered_map<std::string, DefineCall> m_defineCalls;
    bool m_inCComment = false;  // inside /* ... */ over several lines

    // Macros: the table, the one being defined (nested MACRO ... ENDM count in
    // m_defDepth) and the repetitions being expanded.
    std::unordered_map<std::string, MacroDef> m_macros;
    MacroDef m_def;
    bool m_defining = false;
    int m_defDepth = 0;
    int m_defKind = 0;  // 0 MACRO, 1 REPT, 2 IRP, 3 IRPC
    std::vector<std::string> m_defItems;
    std::int64_t m_defCount = 0;
    std::vector<Repeat> m_repeats;
    int m_macroDepth = 0;
    std::int64_t m_expandedLines = 0;
    std::int64_t m_expandedBytes = 0;
    bool m_limitHit = false;
    std::int32_t m_localCount = 0;
    std::string m_scratch;  // an expansion being made

    // Include files loaded, by path: the same file included again is read once.
    std::unordered_map<std::string, std::int32_t> m_loaded;
    std::int64_t m_includes = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> m_pendingIncludes;  // file, and the row including it
    std::vector<std::pair<bool, bool>> m_saved;  // $SAVE: list, and gen
    bool m_list = true;
    int m_gen = 0;  // ListEvent::Gen, NoGen or GenOnly as 0, 1, 2
    bool m_ended = false;
    bool m_reported = false;  // Resolve reported why it failed
};

// Shared by the reader's files.
bool SameWord(std::string_view s, const char* upper);
std::string_view FirstWord(std::string_view s, std::size_t& after);

} // namespace m51asm
