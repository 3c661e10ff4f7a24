#pragma once
// Everything one compile shares between the driver and the statement
// translator: the current line's words, the translator's output strings, the
// compile-wide counters and flags, and the lists the compile fills. A fresh
// record is made for every compile, so two compiles never see each other.

#include "compiler/Compiler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace m51 {

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};

// The procedure list with an index of its name fields (the second blank-
// separated field of each entry, upper-cased), so that "how many entries carry
// this name" costs one look-up instead of a walk over the list. Duplicate
// reports carry the name field ERROR and are counted like any other entry,
// also the reports left out of a long run of duplicates.
class ProcedureList {
public:
    void Add(ListEntry entry);
    // Duplicate reports: `listed` copies of `report` (whose name field is
    // ERROR) join the list, and all `total` reports are counted.
    void AddReports(const ListEntry& report, std::int64_t listed, std::int64_t total);
    // Number of entries whose name field equals `upperName`.
    std::int64_t CountNamed(std::string_view upperName) const;
    const std::vector<ListEntry>& Entries() const { return m_entries; }
    std::vector<ListEntry> TakeEntries() { return std::move(m_entries); }
    // Drops spare capacity once the list is complete.
    void Compact() { m_entries.shrink_to_fit(); }

private:
    std::vector<ListEntry> m_entries;
    void Count(const std::string& upperName, std::int64_t count);

    std::unordered_map<std::string, std::int64_t, TextHash, std::equal_to<>> m_nameCount;
    // Lengths (bit n, the last bit for 63 and more) and first bytes of the
    // names present: most words of a line are no name and need no hashing.
    std::uint64_t m_lengths = 0;
    std::array<bool, 256> m_firstBytes{};
};

// The inline list with an index of its block headers, so that copying block n
// touches only the headers whose number field is n and the lines it copies.
// The copy reproduces the walk over the whole list exactly: copying starts after
// every entry "INLINE n" (first field INLINE, second field n) and stops at the
// next entry whose first field is INLINEEND, also when such entries stem from
// translated lines rather than from the collection pass.
class InlineList {
public:
    void Add(ListEntry entry);
    // Appends the lines of block `number` (its text form) to `out`.
    void CopyBlock(std::string_view number, std::vector<std::string>& out) const;
    const std::vector<ListEntry>& Entries() const { return m_entries; }
    std::vector<ListEntry> TakeEntries() { return std::move(m_entries); }

    // Drops spare capacity once the list is complete.
    void Compact();

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    struct Header {
        std::size_t position;  // index of the header entry
        std::size_t end;       // index of the next INLINEEND entry, npos while none
        std::uint32_t next;    // next header with the same number field, kNone at the last
    };
    struct Chain {
        std::uint32_t first;
        std::uint32_t last;
    };
    struct NumberChain {
        std::uint64_t number;
        Chain chain;
    };
    void Append(Chain& chain, std::uint32_t header);
    const Chain* Find(std::string_view number) const;

    std::vector<ListEntry> m_entries;
    std::vector<Header> m_headers;
    std::vector<std::uint32_t> m_openHeaders;  // headers still waiting for their INLINEEND
    // Headers by number field: decimal numbers written plainly and met in rising
    // order (every header the collection pass writes) in a sorted vector; any
    // other number field (from translated lines) in a map.
    std::vector<NumberChain> m_rising;
    std::unordered_map<std::string, Chain, TextHash, std::equal_to<>> m_otherNumbers;
};

// The most reports one duplicate definition writes, and the most Call lines
// one call of a name defined more than once writes; past that, one error entry
// says how many were left out, so that a source full of one name stays linear.
inline constexpr std::int64_t kMaxRepeats = 100;
// The most duplicate reports, and Call lines of names defined more than once,
// that one compile writes in all: any source then keeps its lists and output
// within a bound, however many names it defines many times.
inline constexpr std::int64_t kMaxRepeatsPerCompile = 1000000;

struct CompileContext {
    // Inputs of the translator, set by the driver for every line.
    std::array<std::string, 10> StatementWords;  // w1..w10, absent words empty
    std::string CleanedLine;    // statement before its comment, trimmed, single blanks
    std::string FirstTwoWords;  // UpperText(w1) + " " + UpperText(w2); main pass only
    std::int64_t LineIndex = 0; // 0-based source line; main pass only
    int SourceLine = 0;         // 0-based source line in every pass: the line list entries refer to
    // Where w1 begins in CleanedLine: 0 in the main pass; in the inline pass the
    // cleaned line is the whole line, and this is where the inline statement
    // after the INLINE keyword begins (ASM: copies from there).
    std::size_t StatementStart = 0;

    // Outputs of the translator, cleared at the start of every statement.
    std::string LoadLine;
    std::string CarryLine;
    std::string CompareLine;
    std::string MainLine;
    std::vector<std::string> LB;  // extra lines written after MainLine

    // Compile-wide counters and flags.
    std::int64_t LabelCounter = 0;   // last "PRS" label
    std::int64_t LoopCounter = 0;    // last "LP" label
    std::int64_t WhileCounter = 0;   // last "Whi"/"EnW" pair
    std::int64_t ExitCounter = 0;    // current "EXP" label
    std::int64_t InlineCounter = 0;  // inline blocks met in the current pass
    bool ExitPending = false;        // an exit jump waits for ENDPROC to place its label
    bool ExitTaken = false;          // this line produced an exit jump
    std::int64_t RepeatedCalls = 0;  // Call lines written for names defined more than once
    std::string CountRegister;       // last valid counted-register address ("08" .. "0Fh")
    std::string BufferRegister;      // last valid buffer address ("10h" .. "18h")
    // WHILE loops of the main pass that no ENDWHILE has closed yet: their
    // number and source line. Reported at the end of the compile, since the
    // assembler would miss their "EnW" labels.
    std::vector<std::pair<std::int64_t, int>> OpenWhileLoops;
    bool ExitLabelOnly = false;      // rule 42 made the whole main line of this statement

    // Lists filled by the compile.
    ProcedureList ProcBox;
    std::vector<ListEntry> Definebox;
    InlineList InlineBox;
    std::vector<ListEntry> ErBox;
    std::vector<Diagnostic> Diagnostics;  // beside ErBox, entry for entry
    std::vector<std::string> ProcedureNames;
    std::vector<std::string> DefinedNames;
    std::vector<Definition> Definitions;

    // Adds an error entry "<line index> <message>" for 0-based `line` and its diagnostic.
    void AddError(int line, ErrorKind kind, std::string_view message);

    // Word k (1-based) of the current statement.
    const std::string& W(int k) const { return StatementWords[static_cast<std::size_t>(k - 1)]; }
};

} // namespace m51
