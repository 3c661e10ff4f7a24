#include "ide/CodeEditor.h"

#include "ide/StatementTips.h"
#include "ide/SyntaxRules.h"

#include <QAction>
#include <QInputDialog>
#include <QKeyEvent>
#include <Qsci/qscistyle.h>

namespace {

int defaultAskLine(QWidget* parent, int current, int last)
{
    bool ok = false;
    const int line = QInputDialog::getInt(parent, QStringLiteral("Go to Line"),
                                          QStringLiteral("Line (1 - %1):").arg(last), current, 1, last, 1, &ok);
    return ok ? line : 0;
}

// Margins left of the text: the marks, the line numbers, the folds.
constexpr int MarksMargin = 0;
constexpr int NumbersMargin = 1;
constexpr int FoldsMargin = 2;
constexpr int FoldWidth = 16;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('=') || c == QLatin1Char('<')
        || c == QLatin1Char('>') || c == QLatin1Char('@');
}

} // namespace

CodeEditor::CodeEditor(QWidget* parent)
    : QsciScintilla(parent), askLine(defaultAskLine)
{
    setUtf8(true);
    setEolMode(EolUnix);
    setEolVisibility(false);
    setWrapMode(WrapNone);
    setTabWidth(8);
    setIndentationsUseTabs(false);
    setAnnotationDisplay(AnnotationBoxed);
    m_annotationStyle = new QsciStyle(-1, QStringLiteral("reason"), m_colours.annotationText,
                                      m_colours.annotationPaper, font());

    setMarginType(MarksMargin, SymbolMargin);
    setMarginSensitivity(MarksMargin, true);
    setMarginType(NumbersMargin, QsciScintilla::NumberMargin);
    setMarginSensitivity(NumbersMargin, true);
    setMarginWidth(FoldsMargin, 0);
    setCaretLineVisible(true);
    defineMarkers();
    setColours(m_colours);

    connect(this, &QsciScintilla::marginClicked, this, [this](int margin, int line, Qt::KeyboardModifiers) {
        if (margin != FoldsMargin)
            toggleBreakpoint(line);
    });
    connect(this, &QsciScintilla::cursorPositionChanged, this, [this](int line, int column) {
        emit caretMoved(line, column);
    });
    connect(this, &QsciScintilla::linesChanged, this, &CodeEditor::updateNumberWidth);
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, &CodeEditor::charAdded);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char*, int, int linesAdded, int, int, int, int, int) {
                textModified(position, type, linesAdded);
            });
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, &CodeEditor::annotateVisible);
    SendScintilla(SCI_AUTOCSETIGNORECASE, 1);
    SendScintilla(SCI_AUTOCSETMAXHEIGHT, 12);

    const auto addKey = [this](const QString& name, const QKeySequence& key, auto slot) {
        auto* action = new QAction(name, this);
        action->setObjectName(name);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addKey(QStringLiteral("goToLine"), QKeySequence(Qt::CTRL | Qt::Key_G), [this] { goToLineDialog(); });
    addKey(QStringLiteral("nextError"), QKeySequence(Qt::Key_F8), [this] { nextError(); });
    addKey(QStringLiteral("previousError"), QKeySequence(Qt::SHIFT | Qt::Key_F8), [this] { previousError(); });
    addKey(QStringLiteral("toggleBreakpoint"), QKeySequence(Qt::Key_F2), [this] { toggleBreakpoint(caretLine()); });
    addKey(QStringLiteral("toggleBookmark"), QKeySequence(Qt::CTRL | Qt::Key_F2), [this] { toggleBookmark(caretLine()); });
    addKey(QStringLiteral("nextBookmark"), QKeySequence(Qt::Key_F4), [this] { nextBookmark(); });
    addKey(QStringLiteral("previousBookmark"), QKeySequence(Qt::SHIFT | Qt::Key_F4), [this] { previousBookmark(); });
    addKey(QStringLiteral("zoomIn"), QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { zoomIn(); });
    addKey(QStringLiteral("zoomInEquals"), QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { zoomIn(); });
    addKey(QStringLiteral("zoomOut"), QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { zoomOut(); });
    addKey(QStringLiteral("zoomReset"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] { zoomTo(0); });
    addKey(QStringLiteral("complete"), QKeySequence(Qt::CTRL | Qt::Key_Space), [this] { showCompletion(); });
    addKey(QStringLiteral("statementTip"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space),
           [this] { showStatementTip(); });
    updateNumberWidth();
}

CodeEditor::~CodeEditor()
{
    delete m_annotationStyle;
}

void CodeEditor::defineMarkers()
{
    markerDefine(Background, ErrorLine);
    markerDefine(SmallRectangle, ErrorMark);
    markerDefine(Circle, Breakpoint);
    markerDefine(RightArrow, Execution);
    markerDefine(Background, ExecutionLine);
    markerDefine(QsciScintilla::Bookmark, Bookmark);
    setMarginMarkerMask(MarksMargin, (1 << ErrorMark) | (1 << Breakpoint) | (1 << Execution) | (1 << Bookmark));
    setMarginMarkerMask(NumbersMargin, 0);
}

void CodeEditor::setColours(const Colours& colours)
{
    m_colours = colours;
    setMarginsBackgroundColor(colours.gutter);
    setMarginsForegroundColor(colours.number);
    setFoldMarginColors(colours.gutter, colours.gutter);
    setCaretLineBackgroundColor(colours.currentLine);
    setMarkerBackgroundColor(colours.errorLine, ErrorLine);
    setMarkerBackgroundColor(colours.errorMark, ErrorMark);
    setMarkerForegroundColor(colours.errorMark, ErrorMark);
    setMarkerBackgroundColor(colours.breakpoint, Breakpoint);
    setMarkerForegroundColor(colours.breakpoint, Breakpoint);
    setMarkerBackgroundColor(colours.executionMark, Execution);
    setMarkerForegroundColor(Qt::black, Execution);
    setMarkerBackgroundColor(colours.executionLine, ExecutionLine);
    setMarkerBackgroundColor(colours.bookmark, Bookmark);
    setMarkerForegroundColor(colours.bookmark, Bookmark);
    setHeatColour(colours.heat);
    m_annotationStyle->setColor(colours.annotationText);
    m_annotationStyle->setPaper(colours.annotationPaper);
}

void CodeEditor::setAnnotationFont(const QFont& font)
{
    QFont italic = font;
    italic.setItalic(true);
    italic.setBold(false);
    m_annotationStyle->setFont(italic);
}

void CodeEditor::setSourceEditing(bool on)
{
    m_source = on;
    if (on) {
        setFolding(BoxedTreeFoldStyle, FoldsMargin);
        setMarginWidth(FoldsMargin, FoldWidth);
        setFoldMarginColors(m_colours.gutter, m_colours.gutter);
    } else {
        setFolding(NoFoldStyle, FoldsMargin);
    }
}

void CodeEditor::setPlainText(const QString& text)
{
    setText(text);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    setModified(false);
}

void CodeEditor::insertPlainText(const QString& text)
{
    replaceSelectedText(text);
}

void CodeEditor::appendPlainText(const QString& text)
{
    appendUndoable(isEmpty() ? text : QStringLiteral("\n") + text);
}

void CodeEditor::appendUndoable(const QString& text)
{
    // QsciScintilla::append() would clear the undo history.
    const QByteArray bytes = text.toUtf8();
    SendScintilla(SCI_APPENDTEXT, bytes.size(), bytes.constData());
}

void CodeEditor::insertLinesAt(int index, const QStringList& newLines)
{
    if (newLines.isEmpty())
        return;
    int fromLine = 0, fromIndex = 0, toLine = 0, toIndex = 0;
    const bool selected = hasSelectedText();
    if (selected)
        getSelection(&fromLine, &fromIndex, &toLine, &toIndex);
    int caretAt = 0, caretIndex = 0;
    getCursorPosition(&caretAt, &caretIndex);
    const QString block = newLines.join(QLatin1Char('\n'));
    beginUndoAction();
    if (isEmpty()) {
        insertAt(block, 0, 0);
    } else if (index >= 0 && index < lines()) {
        insertAt(block + QLatin1Char('\n'), index, 0);
    } else {
        appendUndoable(QLatin1Char('\n') + block);
    }
    endUndoAction();
    // The lines land after the caret's line, so the caret's place is unchanged.
    if (selected)
        setSelection(fromLine, fromIndex, toLine, toIndex);
    else
        setCursorPosition(caretAt, caretIndex);
}

int CodeEditor::gutterWidthFor(const QFontMetrics& metrics, int digits)
{
    // The marks, the numbers (one digit of room) and the folds.
    return metrics.height() + 2 + metrics.horizontalAdvance(QLatin1Char('9')) * (digits + 1) + 8 + FoldWidth;
}

int CodeEditor::marginWidth() const
{
    return QFontMetrics(font()).height() + 2;
}

int CodeEditor::gutterWidth() const
{
    int width = 0;
    for (int margin = 0; margin < margins(); ++margin)
        width += QsciScintilla::marginWidth(margin);
    return width;
}

void CodeEditor::updateNumberWidth()
{
    int digits = 3;
    for (int count = lines(); count >= 1000; count /= 10)
        ++digits;
    if (digits == m_digits)
        return;
    m_digits = digits;
    setMarginWidth(NumbersMargin, QString(digits + 1, QLatin1Char('9')));
    setMarginWidth(MarksMargin, marginWidth());
}

void CodeEditor::setCompletionNames(const QStringList& procedures, const QStringList& defined)
{
    m_procedures = procedures;
    m_defined = defined;
}

QStringList CodeEditor::completionsFor(const QString& prefix, bool firstWord) const
{
    QStringList words;
    const auto take = [&](const QStringList& from) {
        for (const QString& word : from)
            if (word.startsWith(prefix, Qt::CaseInsensitive) && word.compare(prefix, Qt::CaseInsensitive) != 0)
                words << word;
    };
    if (firstWord)
        take(syntax::m51KeywordList());
    else
        take(m_defined);
    take(m_procedures);
    words.sort(Qt::CaseInsensitive);
    words.removeDuplicates();
    return words;
}

QString CodeEditor::wordBeforeCaret(bool* firstWord) const
{
    int line = 0, column = 0;
    getCursorPosition(&line, &column);
    const QString text = this->text(line).left(column);
    int start = int(text.size());
    while (start > 0 && isWordChar(text[start - 1]))
        --start;
    if (firstWord)
        *firstWord = text.left(start).trimmed().isEmpty();
    return text.mid(start);
}

void CodeEditor::showCompletion()
{
    bool first = false;
    const QString prefix = wordBeforeCaret(&first);
    const QStringList words = completionsFor(prefix, first);
    m_listChosen = false;
    // A word typed out in full has nothing left to offer: the list goes.
    if (words.isEmpty()) {
        SendScintilla(SCI_AUTOCCANCEL);
        return;
    }
    SendScintilla(SCI_AUTOCSHOW, prefix.toUtf8().size(), words.join(QLatin1Char(' ')).toUtf8().constData());
}

bool CodeEditor::showStatementTip()
{
    int line = 0, column = 0;
    getCursorPosition(&line, &column);
    const QString word = text(line).trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    const auto tip = statementTips().constFind(word);
    if (tip == statementTips().cend())
        return false;
    SendScintilla(SCI_CALLTIPSHOW, SendScintilla(SCI_GETCURRENTPOS), tipText(tip.value()).toUtf8().constData());
    return true;
}

void CodeEditor::charAdded(int ch)
{
    if (!m_source)
        return;
    if (ch == ' ') {
        int line = 0, column = 0;
        getCursorPosition(&line, &column);
        const QString before = text(line).left(column).trimmed();
        if (!before.isEmpty() && !before.contains(QLatin1Char(' ')) && !before.startsWith(QLatin1Char(';')))
            showStatementTip();
        return;
    }
    if (ch == '\n') {
        SendScintilla(SCI_CALLTIPCANCEL);
        return;
    }
    // The list follows the word as it grows, so it only ever offers more
    // than what is typed.
    bool first = false;
    const QString prefix = wordBeforeCaret(&first);
    if (prefix.size() >= 2 || isListActive())
        showCompletion();
}

void CodeEditor::keyPressEvent(QKeyEvent* event)
{
    if (isListActive()) {
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            m_listChosen = true;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter ends the line unless an item was chosen with the arrows.
            if (!m_listChosen)
                SendScintilla(SCI_AUTOCCANCEL);
            break;
        default:
            break;
        }
    }
    QsciScintilla::keyPressEvent(event);
}

bool CodeEditor::goToLine(int line, bool select)
{
    if (line < 0 || line >= lines())
        return false;
    ensureLineVisible(line);
    if (select)
        setSelection(line, 0, line, int(text(line).remove(QLatin1Char('\n')).size()));
    else
        setCursorPosition(line, 0);
    centreLine(line);
    // The component tells of caret moves when it next paints; a jump tells at once.
    emit caretMoved(caretLine(), caretColumn());
    return true;
}

void CodeEditor::centreLine(int line)
{
    const int visible = int(SendScintilla(SCI_VISIBLEFROMDOCLINE, line));
    const int onScreen = int(SendScintilla(SCI_LINESONSCREEN));
    setFirstVisibleLine(qMax(0, visible - onScreen / 2));
}

void CodeEditor::goToLineDialog()
{
    const int line = askLine ? askLine(this, caretLine() + 1, lines()) : 0;
    if (line > 0)
        goToLine(qMin(line, lines()) - 1);
}

int CodeEditor::caretLine() const
{
    int line = 0, column = 0;
    getCursorPosition(&line, &column);
    return line;
}

int CodeEditor::caretColumn() const
{
    int line = 0, column = 0;
    getCursorPosition(&line, &column);
    return column;
}
