#include "DebugWiring.h"

#include "CodeEditor.h"
#include "DebugController.h"
#include "Main.h"
#include "WindowSet.h"
#include "asembu.h"
#include "editoru.h"

#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>

namespace {

// Marks (or, with -1, clears) the ASM window's line of the program counter and
// brings it into view.
void markAssemblyLine(QPlainTextEdit* pane, int line)
{
    QList<QTextEdit::ExtraSelection> marks;
    const QTextBlock block = pane->document()->findBlockByNumber(line);
    if (line >= 0 && block.isValid()) {
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(QColor(255, 236, 140));
        mark.format.setForeground(Qt::black);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        mark.cursor = QTextCursor(block);
        marks.append(mark);
        QTextCursor cursor(block);
        pane->setTextCursor(cursor);
        pane->centerCursor();
    }
    pane->setExtraSelections(marks);
}

} // namespace

m51dbg::DebugController* attachDebugger(const WindowSet& windows)
{
    TEd* editor = windows.editor;
    TForm1* main = windows.main;
    auto* debugger = new m51dbg::DebugController(main);
    debugger->setSourceProvider(
        [editor] {
            QByteArray text;
            for (const std::string& line : editor->lines()) {
                text.append(line.data(), qsizetype(line.size()));
                text.append("\r\n");
            }
            return text;
        },
        [editor] { return editor->fileName(); });
    debugger->setCaretLineProvider([editor] { return editor->CaretLine() - 1; });

    // The Run menu comes after the main window's own menu items, so theirs
    // keep their places. Its keys work from every window, as the main window's commands do;
    // F2 stays the editor's own (it toggles at the editor's caret).
    main->menuBar()->addMenu(debugger->createMenu(main));
    using Action = m51dbg::DebugController::Action;
    for (Action which : {Action::Run, Action::Stop, Action::StepLine, Action::StepInto, Action::StepOut,
                         Action::RunToCaret}) {
        if (QAction* action = debugger->action(which))
            action->setShortcutContext(Qt::ApplicationShortcut);
    }

    CodeEditor* pane = editor->M;
    QObject::connect(pane, &CodeEditor::breakpointToggled, debugger,
                     [debugger, pane](int, bool) { debugger->setBreakpoints(pane->breakpoints()); });
    QObject::connect(debugger, &m51dbg::DebugController::breakpointsChanged, pane, &CodeEditor::setBreakpoints);
    QObject::connect(debugger, &m51dbg::DebugController::executionLineChanged, editor,
                     [editor, windows](int sourceLine, int asmLine) {
                         editor->M->setExecutionLine(sourceLine);
                         const QTextBlock block = editor->M->document()->findBlockByNumber(sourceLine);
                         if (sourceLine >= 0 && block.isValid()) {
                             editor->M->setTextCursor(QTextCursor(block));
                             editor->M->centerCursor();
                         }
                         markAssemblyLine(windows.assembly->M, asmLine);
                     });
    // The ASM window shows the assembly of the program being debugged, so its
    // marked line is the one the simulator executes.
    QObject::connect(debugger, &m51dbg::DebugController::built, windows.assembly,
                     [windows](const QString& assembly) { windows.assembly->M->setPlainText(assembly); });
    QObject::connect(debugger, &m51dbg::DebugController::statusMessage, main,
                     [main](const QString& text) { main->statusBar()->showMessage(text); });
    QObject::connect(debugger, &m51dbg::DebugController::problems, main, [main](const QStringList& messages) {
        if (!messages.isEmpty())
            main->statusBar()->showMessage(messages.join(QStringLiteral("  |  ")));
    });
    return debugger;
}
