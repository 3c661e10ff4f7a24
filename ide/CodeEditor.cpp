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

void CodeEditor::setErrorMarkers(const QMap<int, QString>& markers)
{
    for (int line : std::as_const(m_annotated))
        clearAnnotations(line);
    m_annotated.clear();
    markerDeleteAll(ErrorLine);
    markerDeleteAll(ErrorMark);
    m_reasons.clear();
    for (auto it = markers.cbegin(); it != markers.cend(); ++it) {
        if (it.key() < 0 || it.key() >= lines())
            continue;
        markerAdd(it.key(), ErrorLine);
        markerAdd(it.key(), ErrorMark);
        m_reasons.insert(it.key(), it.value().isEmpty() ? QStringLiteral("error") : it.value());
    }
    annotateVisible();
}

void CodeEditor::annotateVisible()
{
    if (m_reasons.isEmpty() && m_annotated.isEmpty())
        return;
    m_annotationStyle->apply(this);
    const int style = m_annotationStyle->style();
    const int first = int(SendScintilla(SCI_DOCLINEFROMVISIBLE, firstVisibleLine()));
    const int last = int(SendScintilla(SCI_DOCLINEFROMVISIBLE, firstVisibleLine() + SendScintilla(SCI_LINESONSCREEN) + 2));
    for (auto it = m_reasons.lowerBound(first); it != m_reasons.cend() && it.key() <= last; ++it) {
        if (m_annotated.contains(it.key()) && annotation(it.key()) == it.value())
            continue;
        annotate(it.key(), it.value(), style);
        m_annotated.insert(it.key());
    }
}

void CodeEditor::textModified(int position, int type, int linesAdded)
{
    if (linesAdded == 0 || !(type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)))
        return;
    const int line = int(SendScintilla(SCI_LINEFROMPOSITION, position));
    const bool atLineStart = position == int(SendScintilla(SCI_POSITIONFROMLINE, line));
    // Lines inserted at a line's start push that line down; lines removed
    // take their reasons with them.
    const int from = atLineStart ? line : line + 1;
    const auto shifted = [&](const auto& keys) {
        std::decay_t<decltype(keys)> moved;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            const int key = it.key();
            if (key < from)
                moved.insert(key, it.value());
            else if (linesAdded > 0)
                moved.insert(key + linesAdded, it.value());
            else if (key >= from - linesAdded)
                moved.insert(key + linesAdded, it.value());
        }
        return moved;
    };
    if (!m_reasons.isEmpty() && m_reasons.lastKey() >= from) {
        m_reasons = shifted(m_reasons);
        syncErrorMarks(line);
    }
    QMap<int, bool> annotated;
    for (int key : std::as_const(m_annotated))
        annotated.insert(key, true);
    m_annotated.clear();
    for (auto it = annotated.cbegin(); it != annotated.cend(); ++it)
        if (const QMap<int, bool> one = shifted(QMap<int, bool>{{it.key(), true}}); !one.isEmpty())
            m_annotated.insert(one.firstKey());
}

void CodeEditor::syncErrorMarks(int line)
{
    // The component merges the marks of removed lines into the line before:
    // the marks follow the reasons.
    for (int at = qMax(0, line - 1); at <= line + 1 && at < lines(); ++at) {
        const bool marked = markersAtLine(at) & (1u << ErrorLine);
        if (marked == m_reasons.contains(at))
            continue;
        if (marked) {
            markerDelete(at, ErrorLine);
            markerDelete(at, ErrorMark);
            clearAnnotations(at);
            m_annotated.remove(at);
        } else {
            markerAdd(at, ErrorLine);
            markerAdd(at, ErrorMark);
        }
    }
}

QMap<int, QString> CodeEditor::errorMarkers() const
{
    return m_reasons;
}

QString CodeEditor::errorAt(int line) const
{
    return m_reasons.value(line);
}

bool CodeEditor::jumpToMarker(unsigned mask, bool forward)
{
    const int count = lines();
    const int from = caretLine();
    int found = forward ? markerFindNext(from + 1, mask) : markerFindPrevious(from - 1, mask);
    if (found < 0)
        found = forward ? markerFindNext(0, mask) : markerFindPrevious(count - 1, mask);
    if (found < 0)
        return false;
    return goToLine(found);
}

bool CodeEditor::nextError()
{
    return jumpToMarker(1u << ErrorLine, true);
}

bool CodeEditor::previousError()
{
    return jumpToMarker(1u << ErrorLine, false);
}

void CodeEditor::showExecutionLine(int line)
{
    setExecutionLine(line);
    goToLine(line);
}

bool CodeEditor::presentLine(int line, QWidget* window)
{
    if (!goToLine(line))
        return false;
    window->show();
    window->raise();
    window->activateWindow();
    setFocus();
    return true;
}

void CodeEditor::setExecutionLine(int line)
{
    markerDeleteAll(Execution);
    markerDeleteAll(ExecutionLine);
    if (line < 0 || line >= lines())
        return;
    markerAdd(line, Execution);
    markerAdd(line, ExecutionLine);
    const int first = firstVisibleLine();
    const int visible = int(SendScintilla(SCI_VISIBLEFROMDOCLINE, line));
    if (visible < first || visible >= first + int(SendScintilla(SCI_LINESONSCREEN)))
        centreLine(line);
}

int CodeEditor::executionLine() const
{
    return markerFindNext(0, 1u << Execution);
}

void CodeEditor::setBreakpoints(const QSet<int>& set)
{
    markerDeleteAll(Breakpoint);
    for (int line : set)
        if (line >= 0 && line < lines())
            markerAdd(line, Breakpoint);
}

QSet<int> CodeEditor::breakpoints() const
{
    QSet<int> set;
    for (int line = markerFindNext(0, 1u << Breakpoint); line >= 0; line = markerFindNext(line + 1, 1u << Breakpoint))
        set.insert(line);
    return set;
}

void CodeEditor::toggleBreakpoint(int line)
{
    if (line < 0 || line >= lines())
        return;
    const bool set = !(markersAtLine(line) & (1u << Breakpoint));
    if (set)
        markerAdd(line, Breakpoint);
    else
        markerDelete(line, Breakpoint);
    emit breakpointToggled(line, set);
}

void CodeEditor::toggleBookmark(int line)
{
    if (line < 0 || line >= lines())
        return;
    if (markersAtLine(line) & (1u << Bookmark))
        markerDelete(line, Bookmark);
    else
        markerAdd(line, Bookmark);
}

QSet<int> CodeEditor::bookmarks() const
{
    QSet<int> set;
    for (int line = markerFindNext(0, 1u << Bookmark); line >= 0; line = markerFindNext(line + 1, 1u << Bookmark))
        set.insert(line);
    return set;
}

bool CodeEditor::nextBookmark()
{
    return jumpToMarker(1u << Bookmark, true);
}

bool CodeEditor::previousBookmark()
{
    return jumpToMarker(1u << Bookmark, false);
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
