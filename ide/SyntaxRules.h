#pragma once
// What each stretch of a source or assembly line is, for colouring: M51
// statements by keyword family, numbers, comments, ASM: lines and procedure
// names; 8051 assembly and listings by mnemonic, register, directive, label,
// number, comment and the compiler's refusal lines. Every line stands alone
// (neither language continues a construct over a line end), so any line can be
// classified the moment it comes into view.
//
// The result is data (spans of a kind); the look of each kind is a palette of
// the window that shows the text.

#include <QSet>
#include <QStringList>
#include <QString>
#include <QStringView>
#include <vector>

namespace syntax {

enum class Kind {
    Structure,  // program frame, procedures, definitions, interrupt vectors
    Flow,       // conditions, loops, jumps
    Data,       // moves between A, B, ports, memory, stack
    Operation,  // arithmetic, logic and bit statements
    Number,
    Comment,
    AsmPrefix,  // "ASM:" of a pass-through line
    AsmText,    // the assembly it carries
    Procedure,  // a procedure's name where it is defined or called
    Mnemonic,
    Register,
    Directive,
    Label,
    Error,      // a line the compiler refused ("ERROR - ...") or the assembler's error
};

struct Span {
    int start;
    int length;
    Kind kind;
    bool operator==(const Span&) const = default;
};

// The M51 keyword family of an upper-cased first word, or false when the word
// is no keyword.
bool m51Keyword(QStringView upperWord, Kind* family);

// Every M51 keyword, upper-cased, sorted (the editor's completion list).
QStringList m51KeywordList();

// Spans of one M51 source line. `procedures` holds known procedure names,
// upper-cased; a first word among them is a call.
std::vector<Span> m51Line(QStringView line, const QSet<QString>& procedures);

// Spans of one 8051 assembly or listing line.
std::vector<Span> asm51Line(QStringView line);

} // namespace syntax
