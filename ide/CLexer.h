#pragma once
// Colours for C sources (.c, .h) written for SDCC: QScintilla's C lexer with
// C's keywords and, as a second set in a colour of its own, SDCC's words for
// the 8051's memories, registers and functions (__sfr, __xdata, __interrupt
// ...). Dark text on the light paper of the assembly panes.

#include <Qsci/qscilexercpp.h>

class CLexer : public QsciLexerCPP {
public:
    CLexer(const QColor& paper, const QColor& text, const QFont& font, QObject* parent = nullptr);

    const char* language() const override { return "C (SDCC)"; }
    // 1: C's keywords; 2: SDCC's.
    const char* keywords(int set) const override;
};

// The file holds C (its name ends .c or .h).
bool IsCFile(const QString& path);
