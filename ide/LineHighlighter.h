#pragma once
// Colours the lines of a plain-text pane as they come into view. Lines are
// independent (see SyntaxRules.h), so only the lines on the screen are ever
// classified: opening a 10 MB source costs nothing here, and a keystroke
// recolours the one line it changed. A line keeps its colours until its text
// changes or the rules change (rehighlight()).
//
// Each block's user state records the rules' generation it was coloured with;
// an edited block is reset, so the next paint colours it again.
//
// M51Highlighter colours the source editor; Asm51Highlighter the ASM and LST
// windows. Both take their colours from a palette chosen for the window's
// background.

#include "SyntaxRules.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTextCharFormat>
#include <QTextDocument>

class QPlainTextEdit;
class QTextBlock;

class LineHighlighter : public QObject {
    Q_OBJECT
public:
    using Palette = QHash<syntax::Kind, QTextCharFormat>;

    // Colours `pane` (and follows it when its document is replaced).
    LineHighlighter(QPlainTextEdit* pane, Palette palette);

    // Colours every line again when it is next shown.
    void rehighlight();
    // Colours the lines now on the screen that need it.
    void highlightVisible();
    // Colours one block now (tests, and lines about to be shown).
    void highlightBlock(const QTextBlock& block);

    const Palette& palette() const { return m_palette; }
    void setPalette(Palette palette);
    // How many lines were classified so far (a measure of the laziness).
    qint64 classifiedLines() const { return m_classified; }

protected:
    virtual std::vector<syntax::Span> spans(QStringView line) const = 0;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach();
    void contentsChanged(int from, int removed, int added);
    bool apply(QTextBlock& block);

    QPlainTextEdit* m_pane;
    QPointer<QTextDocument> m_document;
    Palette m_palette;
    int m_generation = 1;
    bool m_applying = false;
    qint64 m_classified = 0;
};

class M51Highlighter : public LineHighlighter {
    Q_OBJECT
public:
    explicit M51Highlighter(QPlainTextEdit* pane);
    // Known procedure names (upper-cased): a line starting with one is a call.
    void setProcedureNames(const QSet<QString>& names);
    const QSet<QString>& procedureNames() const { return m_procedures; }
    // The look on the editor's background (RGB 64,0,64, aqua text).
    static Palette defaultPalette();

protected:
    std::vector<syntax::Span> spans(QStringView line) const override;

private:
    QSet<QString> m_procedures;
};

class Asm51Highlighter : public LineHighlighter {
    Q_OBJECT
public:
    explicit Asm51Highlighter(QPlainTextEdit* pane);
    // The look on the ASM and LST windows' background (RGB 194,211,194, black text).
    static Palette defaultPalette();

protected:
    std::vector<syntax::Span> spans(QStringView line) const override;
};
