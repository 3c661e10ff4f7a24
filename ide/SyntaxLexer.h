#pragma once
// Colours for the code panes: a QScintilla lexer that styles each line by the
// spans of SyntaxRules.h. Lines stand alone, so the component asks only for
// the lines coming into view, and a keystroke restyles the line it changed.
//
// M51Lexer colours the source editor and folds PROCEDURE...ENDPROC,
// WHILE...ENDWHILE and runs of comment lines; Asm51Lexer colours the ASM and
// LST windows. Each takes its colours, background and font from the window
// that shows the text.

#include "ide/SyntaxRules.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QSet>
#include <Qsci/qscilexercustom.h>

class SyntaxLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    struct Look {
        QColor colour;
        bool underline = false;
    };
    using Palette = QHash<syntax::Kind, Look>;

    SyntaxLexer(Palette palette, const QColor& paper, const QColor& text, const QFont& font, QObject* parent);

    // The style number of a kind (0 is plain text).
    static int styleOf(syntax::Kind kind) { return int(kind) + 1; }

    const char* language() const override { return "M51"; }
    QString description(int style) const override;
    void styleText(int start, int end) override;

    using QsciLexerCustom::defaultColor;
    using QsciLexerCustom::defaultFont;
    using QsciLexerCustom::defaultPaper;
    QColor defaultColor(int style) const override;
    QColor defaultPaper(int style) const override;
    QFont defaultFont(int style) const override;

    // How many lines were styled so far (a measure of the laziness).
    qint64 styledLines() const { return m_styled; }

protected:
    virtual std::vector<syntax::Span> spans(QStringView line) const = 0;
    // The fold change a line brings: +1 opens, -1 closes, 0 neither. A comment
    // run opens on its first line and closes on the line after it.
    virtual int foldStep(QStringView line, QStringView previous, QStringView next) const;
    // Styles every line again (the rules changed).
    void restyle();

private:
    Palette m_palette;
    QColor m_paper;
    QColor m_text;
    QFont m_font;
    qint64 m_styled = 0;
};

class M51Lexer : public SyntaxLexer {
    Q_OBJECT
public:
    M51Lexer(const QColor& paper, const QColor& text, const QFont& font, QObject* parent = nullptr);
    // Known procedure names (upper-cased): a line starting with one is a call.
    void setProcedureNames(const QSet<QString>& names);
    const QSet<QString>& procedureNames() const { return m_procedures; }
    // The look on the editor's background (RGB 64,0,64, aqua text).
    static Palette defaultPalette();

protected:
    std::vector<syntax::Span> spans(QStringView line) const override;
    int foldStep(QStringView line, QStringView previous, QStringView next) const override;

private:
    QSet<QString> m_procedures;
};

class Asm51Lexer : public SyntaxLexer {
    Q_OBJECT
public:
    Asm51Lexer(const QColor& paper, const QColor& text, const QFont& font, QObject* parent = nullptr);
    const char* language() const override { return "8051"; }
    // The look on the ASM and LST windows' background (RGB 194,211,194, black text).
    static Palette defaultPalette();

protected:
    std::vector<syntax::Span> spans(QStringView line) const override;
    int foldStep(QStringView, QStringView, QStringView) const override { return 0; }
};

namespace syntax {
// A font given in pixels with the point size of the same height: the editor
// component sizes its fonts in points (every lexer of the code panes).
QFont pointSized(const QFont& font);
// The fold change of an M51 line (see SyntaxLexer::foldStep).
int m51FoldStep(QStringView line, QStringView previous, QStringView next);
} // namespace syntax
