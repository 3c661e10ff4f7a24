#include "ide/SyntaxLexer.h"

#include <QGuiApplication>
#include <QScreen>
#include <Qsci/qsciscintilla.h>

using syntax::Kind;

namespace {

// The line's first word, upper-cased.
QString firstWord(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && line[i].isSpace())
        ++i;
    qsizetype end = i;
    while (end < line.size() && !line[end].isSpace() && line[end] != QLatin1Char(';'))
        ++end;
    return line.mid(i, end - i).toString().toUpper();
}

bool isComment(QStringView line)
{
    return line.trimmed().startsWith(QLatin1Char(';'));
}

// Bytes of the UTF-8 form of a stretch of text (the component counts bytes).
int utf8Length(QStringView text)
{
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

// The editor component sizes its fonts in points: a font given in pixels
// (the windows' Courier) gets the point size of the same height.
QFont inPoints(QFont font)
{
    if (font.pixelSize() > 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
        font.setPointSizeF(font.pixelSize() * 72.0 / dpi);
    }
    return font;
}

} // namespace

QFont syntax::pointSized(const QFont& font)
{
    return inPoints(font);
}

int syntax::m51FoldStep(QStringView line, QStringView previous, QStringView next)
{
    if (isComment(line)) {
        const bool before = isComment(previous), after = isComment(next);
        return !before && after ? 1 : before && !after ? -1 : 0;
    }
    const QString word = firstWord(line);
    if (word == QLatin1String("PROCEDURE") || word.startsWith(QLatin1String("WHILE")))
        return 1;
    if (word == QLatin1String("ENDPROC") || word == QLatin1String("ENDWHILE"))
        return -1;
    return 0;
}

SyntaxLexer::SyntaxLexer(Palette palette, const QColor& paper, const QColor& text, const QFont& font, QObject* parent)
    : QsciLexerCustom(parent), m_palette(std::move(palette)), m_paper(paper), m_text(text), m_font(inPoints(font))
{
    setDefaultPaper(paper);
    setDefaultColor(text);
    setDefaultFont(m_font);
}

QString SyntaxLexer::description(int style) const
{
    return style >= 0 && style <= styleOf(Kind::Error) ? QStringLiteral("style %1").arg(style) : QString();
}

QColor SyntaxLexer::defaultColor(int style) const
{
    for (auto it = m_palette.cbegin(); it != m_palette.cend(); ++it)
        if (styleOf(it.key()) == style)
            return it.value().colour;
    return m_text;
}

QColor SyntaxLexer::defaultPaper(int) const
{
    return m_paper;
}

QFont SyntaxLexer::defaultFont(int style) const
{
    QFont font = m_font;
    for (auto it = m_palette.cbegin(); it != m_palette.cend(); ++it)
        if (styleOf(it.key()) == style && it.value().underline)
            font.setUnderline(true);
    return font;
}

int SyntaxLexer::foldStep(QStringView line, QStringView previous, QStringView next) const
{
    return syntax::m51FoldStep(line, previous, next);
}

void SyntaxLexer::restyle()
{
    // Everything counts as unstyled; the component asks again for the lines
    // up to the last one on the screen, and for the others as they come into view.
    if (QsciScintilla* pane = editor()) {
        pane->SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, 0l, 0l);
        pane->viewport()->update();
    }
}

void SyntaxLexer::styleText(int start, int end)
{
    QsciScintilla* pane = editor();
    if (!pane)
        return;
    const int lines = pane->lines();
    // One line back: a comment run's fold depends on the line after it.
    int line = qMax(0, int(pane->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, start)) - 1);
    const int last = int(pane->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, qMax(start, end - 1)));
    QString previous = line > 0 ? pane->text(line - 1) : QString();
    QString current = pane->text(line);
    for (; line <= last && line < lines; ++line) {
        const QString next = line + 1 < lines ? pane->text(line + 1) : QString();
        const int lineStart = int(pane->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line));
        const int lineBytes = int(pane->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, line));
        const bool ascii = lineBytes == current.size();
        startStyling(lineStart);
        int at = 0;      // characters styled so far
        int styled = 0;  // bytes styled so far
        const auto bytesOf = [&](int from, int length) {
            return ascii ? length : utf8Length(QStringView(current).mid(from, length));
        };
        for (const syntax::Span& span : spans(QStringView(current))) {
            if (span.start < at)
                continue;
            if (span.start > at) {
                const int gap = bytesOf(at, span.start - at);
                setStyling(gap, 0);
                styled += gap;
            }
            const int length = bytesOf(span.start, span.length);
            setStyling(length, styleOf(span.kind));
            styled += length;
            at = span.start + span.length;
        }
        if (lineBytes > styled)
            setStyling(lineBytes - styled, 0);

        // Folding: the line state keeps the depth after the line.
        const int before = line > 0 ? int(pane->SendScintilla(QsciScintillaBase::SCI_GETLINESTATE, line - 1)) : 0;
        const int step = foldStep(QStringView(current), QStringView(previous), QStringView(next));
        const int after = qMax(0, before + step);
        int level = QsciScintillaBase::SC_FOLDLEVELBASE + before;
        if (step > 0)
            level |= QsciScintillaBase::SC_FOLDLEVELHEADERFLAG;
        pane->SendScintilla(QsciScintillaBase::SCI_SETLINESTATE, line, after);
        pane->SendScintilla(QsciScintillaBase::SCI_SETFOLDLEVEL, line, level);
        ++m_styled;
        previous = std::move(current);
        current = next;
    }
}

M51Lexer::M51Lexer(const QColor& paper, const QColor& text, const QFont& font, QObject* parent)
    : SyntaxLexer(defaultPalette(), paper, text, font, parent)
{
}

void M51Lexer::setProcedureNames(const QSet<QString>& names)
{
    if (names == m_procedures)
        return;
    m_procedures = names;
    restyle();
}

std::vector<syntax::Span> M51Lexer::spans(QStringView line) const
{
    return syntax::m51Line(line, m_procedures);
}

int M51Lexer::foldStep(QStringView line, QStringView previous, QStringView next) const
{
    return syntax::m51FoldStep(line, previous, next);
}

SyntaxLexer::Palette M51Lexer::defaultPalette()
{
    // Light colours on the dark purple background; plain words keep aqua.
    return {
        {Kind::Structure, {QColor(255, 255, 85)}},
        {Kind::Flow, {QColor(255, 176, 64)}},
        {Kind::Data, {QColor(130, 255, 130)}},
        {Kind::Operation, {QColor(255, 150, 230)}},
        {Kind::Number, {QColor(255, 215, 160)}},
        {Kind::Comment, {QColor(180, 160, 205)}},
        {Kind::AsmPrefix, {QColor(120, 190, 255)}},
        {Kind::AsmText, {QColor(200, 225, 255)}},
        {Kind::Procedure, {QColor(255, 255, 255), true}},
    };
}

Asm51Lexer::Asm51Lexer(const QColor& paper, const QColor& text, const QFont& font, QObject* parent)
    : SyntaxLexer(defaultPalette(), paper, text, font, parent)
{
}

std::vector<syntax::Span> Asm51Lexer::spans(QStringView line) const
{
    return syntax::asm51Line(line);
}

SyntaxLexer::Palette Asm51Lexer::defaultPalette()
{
    // Dark colours on the light grey-green background; the rest stays black.
    return {
        {Kind::Mnemonic, {QColor(0, 0, 170)}},
        {Kind::Register, {QColor(130, 0, 130)}},
        {Kind::Number, {QColor(150, 40, 0)}},
        {Kind::Directive, {QColor(0, 95, 120)}},
        {Kind::Label, {QColor(0, 100, 0)}},
        {Kind::Comment, {QColor(85, 85, 85)}},
        {Kind::Error, {QColor(170, 0, 0)}},
    };
}
