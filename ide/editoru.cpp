#include "ide/editoru.h"

#include "ide/CodeEditor.h"
#include "common/Cp1250.h"
#include "ide/FindBar.h"
#include "compiler/Language.h"
#include "ide/SyntaxLexer.h"
#include "ide/CLexer.h"
#include "ide/Session.h"
#include "ide/ResultLists.h"
#include "compiler/MyVision.h"
#include "ide/Placement.h"
#include "ide/TextPane.h"
#include "ide/skladu.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

TEd::TEd(QWidget* parent, ProfileStore* profile)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Ed"));
    resize(designWidth(), 612);
    placeByDefault(this, 8, FirstTop);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(29);
    Panel1->setAutoFillBackground(true);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, QColor(178, 178, 178));
    Panel1->setPalette(panelPalette);

    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFixedWidth(73);
    Edit1->setToolTip(QStringLiteral("Hledaný text"));
    QPalette editPalette = Edit1->palette();
    editPalette.setColor(QPalette::Base, QColor(194, 211, 194));
    Edit1->setPalette(editPalette);

    Button1 = new QPushButton(QStringLiteral("Search"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Next = new QPushButton(QStringLiteral("Next"), Panel1);
    Next->setObjectName(QStringLiteral("Next"));
    for (QPushButton* button : {Button1, Next}) {
        button->setFixedHeight(23);
        button->setAutoDefault(false);
    }

    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(4, 3, 4, 3);
    panelLayout->setSpacing(4);
    panelLayout->addWidget(Edit1);
    panelLayout->addWidget(Button1);
    panelLayout->addWidget(Next);
    panelLayout->addStretch();

    M = new CodeEditor(this);
    M->setObjectName(QStringLiteral("M"));
    M->setFrameShape(QFrame::NoFrame);
    const PaneTheme m51 = m51Theme(), assembly = asmTheme();
    highlighter = new M51Lexer(m51.paper, m51.text, courierFont(13, true), M);
    asmHighlighter = new Asm51Lexer(assembly.paper, assembly.text, courierFont(13, true), M);
    cHighlighter = new CLexer(assembly.paper, assembly.text, courierFont(13, true), M);
    styleTextPane(M, highlighter, m51.paper, m51.text, courierFont(13, true));
    M->setSourceEditing(true);
    findBar = new FindBar(M, this);
    emptyHint = new QLabel(M->viewport());
    emptyHint->setObjectName(QStringLiteral("emptyHint"));
    emptyHint->setText(QStringLiteral(
        "Type an M51 program here, or open a sample with File \u25B8 Open (Ctrl+O):\n"
        "the examples folder beside Zelvar's documentation holds blink.M51 and others.\n"
        "F9 checks the program, Ctrl+F9 builds it for debugging, F1 opens Help."));
    emptyHint->setStyleSheet(QStringLiteral("color: rgb(150, 120, 170); background: transparent;"));
    emptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    emptyHint->move(CodeEditor::gutterWidthFor(QFontMetrics(M->font())) + 8, 8);
    emptyHint->adjustSize();
    connect(M, &QsciScintilla::textChanged, this, [this] { emptyHint->setVisible(M->isEmpty()); });

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("status"));
    status->setSizeGripEnabled(false);
    caretStatus = new QLabel(status);
    caretStatus->setObjectName(QStringLiteral("caretStatus"));
    status->addWidget(caretStatus, 1);
    connect(M, &CodeEditor::caretMoved, this, &TEd::showCaret);
    connect(M, &CodeEditor::breakpointToggled, this, [this] { emit breakpointsChanged(M->breakpoints()); });
    connect(M, &QsciScintilla::modificationChanged, this, &TEd::modifiedChanged);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(M, 1);
    layout->addWidget(findBar);
    layout->addWidget(status);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(false); });
    connect(Next, &QPushButton::clicked, this, [this] { Button1Click(true); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Button1Click(true); });
    // F3 continues the Find bar's search when it has a needle, else the
    // panel's Next.
    auto* findNext = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(findNext, &QShortcut::activated, this, [this] {
        if (findBar->findField()->text().isEmpty())
            Button1Click(true);
        else
            findBar->findNext();
    });
    auto* findPrevious = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(findPrevious, &QShortcut::activated, findBar, &FindBar::findPrevious);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { findBar->open(false); });
    auto* replace = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(replace, &QShortcut::activated, this, [this] { findBar->open(true); });

    PL = new TPlacement(this, QStringLiteral("Editor"), profile);
    restorePlacement();
}

int TEd::designWidth()
{
    const QFontMetrics metrics(courierFont(13, true));
    // Text, the gutter, the pane's margins and frame, and the vertical scroll bar.
    const int columns = metrics.horizontalAdvance(QString(80, QLatin1Char('M')));
    const int extra = CodeEditor::gutterWidthFor(metrics) + 2 * 4 + 2 * 2
        + QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    return std::max(487, columns + extra);
}

int TEd::firstLeftOfViewers()
{
    // The editor's left edge, its width and room for two window borders.
    return 8 + designWidth() + 16;
}

void TEd::GoToLine(int n)
{
    if (n <= 0 || n >= lineCount())
        return;
    M->goToLine(n, true);
}

int TEd::CaretLine()
{
    return M->caretLine() + 1;
}

void TEd::Button1Click(bool next)
{
    if (!next)
        SearchStart = 0;
    const std::string needle = MyVision::UpperText(cp1250::encode(Edit1->text()));
    if (needle.empty())
        return;
    const std::vector<std::string> text = lines();
    const int last = int(text.size()) - 1;
    for (int i = SearchStart; i <= last; ++i) {
        if (MyVision::UpperText(text[size_t(i)]).find(needle) != std::string::npos) {
            GoToLine(i);
            SearchStart = i == last ? 0 : i + 1;
            return;
        }
    }
}

std::vector<std::string> TEd::lines()
{
    return paneLines(M);
}

int TEd::lineCount()
{
    return M->isEmpty() ? 0 : M->lines();
}

QString TEd::text() const
{
    return M->text();
}

void TEd::setText(const QString& text)
{
    M->setErrorMarkers({});
    m_firstReason.clear();
    const QSet<QString> names = definedProcedures(text);
    highlighter->setProcedureNames(names);
    M->setCompletionNames(QStringList(names.cbegin(), names.cend()), {});
    setPaneText(M, text);
}

void TEd::insertLines(int index, const std::vector<std::string>& newLines)
{
    if (newLines.empty())
        return;
    M->insertLinesAt(qMax(0, index), cp1250::decodeLines(newLines));
}

void TEd::showCaret()
{
    const int line = M->caretLine();
    QString text = QStringLiteral("Line %1, Column %2").arg(line + 1).arg(M->caretColumn() + 1);
    if (const auto reason = m_firstReason.constFind(line); reason != m_firstReason.cend())
        text += QStringLiteral("    ") + *reason;
    caretStatus->setText(text);
}

QSet<QString> TEd::definedProcedures(QStringView text)
{
    QSet<QString> names;
    for (const std::string& name : m51::language::ProcedureNames(cp1250::encode(text)))
        names.insert(cp1250::decode(name));
    return names;
}

void TEd::showCompileResult(const m51::CompileResult& compiled, const std::vector<m51::Diagnostic>& diagnostics)
{
    QMap<int, QString> markers;
    m_firstReason.clear();
    for (const m51::Diagnostic& d : diagnostics) {
        if (!d.file.empty() || d.line <= 0 || d.severity == m51::Severity::Note)
            continue;
        QString& marker = markers[d.line - 1];
        const QString reason = markerText(d);
        marker = marker.isEmpty() ? reason : marker + QLatin1Char('\n') + reason;
        if (!m_firstReason.contains(d.line - 1))
            m_firstReason.insert(d.line - 1, reason);
    }
    M->setErrorMarkers(markers);
    QSet<QString> names;
    for (const std::string& name : compiled.ProcedureNames)
        names.insert(cp1250::decode(name));
    highlighter->setProcedureNames(names);
    QStringList defined;
    for (const std::string& name : compiled.DefinedNames)
        defined << cp1250::decode(name);
    M->setCompletionNames(QStringList(names.cbegin(), names.cend()), defined);
    showCaret();
}

void TEd::setSourceFile(const QString& path)
{
    if (IsCFile(path)) {
        if (M->lexer() == cHighlighter)
            return;
        const PaneTheme theme = asmTheme();
        styleTextPane(M, cHighlighter, theme.paper, theme.text, courierFont(13, true));
        M->setColours(theme.colours);
        return;
    }
    setAssemblySource(Session::isAssemblySource(path));
}

void TEd::setAssemblySource(bool assembly)
{
    QsciLexer* wanted = assembly ? static_cast<QsciLexer*>(asmHighlighter) : highlighter;
    if (M->lexer() == wanted)
        return;
    // The markers and margins stay; only the colouring changes. The 8051
    // colours are made for the ASM window's light paper, so an assembly
    // source gets that paper too (on the M51 purple its mnemonics vanish).
    // The line shades and the gutter go with the paper.
    const PaneTheme theme = assembly ? asmTheme() : m51Theme();
    styleTextPane(M, wanted, theme.paper, theme.text, courierFont(13, true));
    M->setColours(theme.colours);
}

void TEd::restorePlacement()
{
    restoreWindowPlacement(PL);
}

void TEd::savePlacement()
{
    saveWindowPlacement(PL);
}

void TEd::FormDestroy()
{
    savePlacement();
}

void TEd::showExecutionLine(int line)
{
    M->showExecutionLine(line);
}

bool TEd::showLine(int line)
{
    return M->goToLine(line);
}

bool TEd::presentLine(int line)
{
    return M->presentLine(line, this);
}

void TEd::setCoverage(const QList<CodeEditor::CoverageLine>& lines, bool marks, bool heat)
{
    M->setCoverage(lines, marks, heat);
}

void TEd::clearCoverage()
{
    M->clearCoverage();
}

void TEd::setErrorMarkers(const QMap<int, QString>& markers)
{
    M->setErrorMarkers(markers);
}

void TEd::setValueTips(std::function<QString(const QString& expression)> tip)
{
    M->setValueTips(std::move(tip));
}

QSet<int> TEd::breakpoints() const
{
    return M->breakpoints();
}

void TEd::setBreakpoints(const QSet<int>& lines)
{
    M->setBreakpoints(lines);
}

void TEd::markSaved()
{
    M->setModified(false);
}

void TEd::reloadText(const QString& text)
{
    const int line = M->caretLine();
    setText(text);
    M->setModified(false);
    M->goToLine(qMin(line, M->lines() - 1));
}

void TEd::selectLine(int line)
{
    M->goToLine(line, true);
}

void TEd::focusText()
{
    M->setFocus();
}

void TEd::insertLinesAt(int index, const QStringList& lines)
{
    M->insertLinesAt(index, lines);
}
