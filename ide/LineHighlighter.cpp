#include "LineHighlighter.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

using syntax::Kind;

namespace {

// An edit touching more blocks than this recolours everything lazily instead
// of resetting block by block.
constexpr int ResetLimit = 512;

QTextCharFormat colour(const QColor& foreground)
{
    QTextCharFormat format;
    format.setForeground(foreground);
    return format;
}

} // namespace

LineHighlighter::LineHighlighter(QPlainTextEdit* pane, Palette palette)
    : QObject(pane), m_pane(pane), m_palette(std::move(palette))
{
    attach();
    pane->viewport()->installEventFilter(this);
}

void LineHighlighter::attach()
{
    if (m_document)
        disconnect(m_document, nullptr, this, nullptr);
    m_document = m_pane->document();
    connect(m_document, &QTextDocument::contentsChange, this, &LineHighlighter::contentsChanged);
    ++m_generation;
}

void LineHighlighter::setPalette(Palette palette)
{
    m_palette = std::move(palette);
    rehighlight();
}

void LineHighlighter::rehighlight()
{
    ++m_generation;
    m_pane->viewport()->update();
}

void LineHighlighter::contentsChanged(int from, int removed, int added)
{
    if (m_applying || (removed == 0 && added == 0))
        return;
    QTextBlock block = m_document->findBlock(from);
    const QTextBlock last = m_document->findBlock(from + added);
    if (last.blockNumber() - block.blockNumber() > ResetLimit) {
        ++m_generation;
        return;
    }
    for (; block.isValid(); block = block.next()) {
        block.setUserState(-1);
        if (block == last)
            break;
    }
}

bool LineHighlighter::apply(QTextBlock& block)
{
    if (block.userState() == m_generation || !block.layout())
        return false;
    QList<QTextLayout::FormatRange> ranges;
    for (const syntax::Span& span : spans(block.text())) {
        const auto format = m_palette.constFind(span.kind);
        if (format != m_palette.cend())
            ranges.append({span.start, span.length, format.value()});
    }
    block.layout()->setFormats(ranges);
    block.setUserState(m_generation);
    ++m_classified;
    return true;
}

void LineHighlighter::highlightBlock(const QTextBlock& block)
{
    if (m_pane->document() != m_document)
        attach();
    QTextBlock b = block;
    if (!apply(b))
        return;
    m_applying = true;
    m_document->markContentsDirty(b.position(), b.length());
    m_applying = false;
}

void LineHighlighter::highlightVisible()
{
    if (m_pane->document() != m_document)
        attach();
    QTextBlock block = m_pane->cursorForPosition(QPoint(0, 0)).block();
    const int last = m_pane->cursorForPosition(QPoint(0, m_pane->viewport()->height())).blockNumber() + 1;
    int from = -1;
    int to = -1;
    for (; block.isValid() && block.blockNumber() <= last; block = block.next()) {
        if (!block.isVisible() || !apply(block))
            continue;
        if (from < 0)
            from = block.position();
        to = block.position() + block.length();
    }
    if (from < 0)
        return;
    // The changed lines are laid out again with their colours.
    m_applying = true;
    m_document->markContentsDirty(from, to - from);
    m_applying = false;
}

bool LineHighlighter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched == m_pane->viewport())
        highlightVisible();
    return QObject::eventFilter(watched, event);
}

M51Highlighter::M51Highlighter(QPlainTextEdit* pane)
    : LineHighlighter(pane, defaultPalette())
{
}

void M51Highlighter::setProcedureNames(const QSet<QString>& names)
{
    if (names == m_procedures)
        return;
    m_procedures = names;
    rehighlight();
}

std::vector<syntax::Span> M51Highlighter::spans(QStringView line) const
{
    return syntax::m51Line(line, m_procedures);
}

LineHighlighter::Palette M51Highlighter::defaultPalette()
{
    // Light colours on the dark purple background; plain words keep aqua.
    QTextCharFormat procedure = colour(QColor(255, 255, 255));
    procedure.setFontUnderline(true);
    return {
        {Kind::Structure, colour(QColor(255, 255, 85))},
        {Kind::Flow, colour(QColor(255, 176, 64))},
        {Kind::Data, colour(QColor(130, 255, 130))},
        {Kind::Operation, colour(QColor(255, 150, 230))},
        {Kind::Number, colour(QColor(255, 215, 160))},
        {Kind::Comment, colour(QColor(180, 160, 205))},
        {Kind::AsmPrefix, colour(QColor(120, 190, 255))},
        {Kind::AsmText, colour(QColor(200, 225, 255))},
        {Kind::Procedure, procedure},
    };
}

Asm51Highlighter::Asm51Highlighter(QPlainTextEdit* pane)
    : LineHighlighter(pane, defaultPalette())
{
}

std::vector<syntax::Span> Asm51Highlighter::spans(QStringView line) const
{
    return syntax::asm51Line(line);
}

LineHighlighter::Palette Asm51Highlighter::defaultPalette()
{
    // Dark colours on the light grey-green background; the rest stays black.
    return {
        {Kind::Mnemonic, colour(QColor(0, 0, 170))},
        {Kind::Register, colour(QColor(130, 0, 130))},
        {Kind::Number, colour(QColor(150, 40, 0))},
        {Kind::Directive, colour(QColor(0, 95, 120))},
        {Kind::Label, colour(QColor(0, 100, 0))},
        {Kind::Comment, colour(QColor(85, 85, 85))},
        {Kind::Error, colour(QColor(200, 0, 0))},
    };
}
