#include "DebugWiring.h"

#include "CodeEditor.h"
#include "CoverageWiring.h"
#include "DebugController.h"
#include "ListBox.h"
#include "Main.h"
#include "Nastavu.h"
#include "Placement.h"
#include "ProfileFile.h"
#include "ProgramCode.h"
#include "ResultLists.h"
#include "Session.h"
#include "WindowSet.h"
#include "asembu.h"
#include "editoru.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

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
        [main] { return main->session().currentFile(); });
    debugger->setCaretLineProvider([editor] { return editor->CaretLine() - 1; });
    debugger->setRebuildQuestion([main] {
        return QMessageBox::question(main, QStringLiteral("Zelvar"),
                                     QStringLiteral("The program changed: rebuild and restart?")) == QMessageBox::Yes;
    });

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
                         editor->M->goToLine(sourceLine);
                         windows.assembly->M->setExecutionLine(asmLine);
                         windows.assembly->M->goToLine(asmLine);
                     });
    // The ASM window shows the assembly of the program being debugged, so its
    // marked line is the one the simulator executes.
    QObject::connect(debugger, &m51dbg::DebugController::built, windows.assembly,
                     [windows](const QString& assembly) { windows.assembly->M->setPlainText(assembly); });
    QObject::connect(debugger, &m51dbg::DebugController::statusMessage, main,
                     [main](const QString& text) { main->statusBar()->showMessage(text); });
    // One message fits the status bar; more go to the error list.
    QObject::connect(debugger, &m51dbg::DebugController::problems, main, [main](const QStringList& messages) {
        if (messages.size() == 1)
            main->statusBar()->showMessage(messages.front());
        else if (messages.size() > 1)
            main->statusBar()->showMessage(QStringLiteral("%1 (and %2 more in the error list)")
                                               .arg(messages.front())
                                               .arg(messages.size() - 1));
    });
    // A failed build's errors in the error list, those on source lines marked
    // in the editor; a double click goes to the line.
    QObject::connect(debugger, &m51dbg::DebugController::buildFailed, main,
                     [main, editor](const std::vector<m51dbg::BuildError>& errors) {
                         const QString source = QFileInfo(main->session().currentFile()).fileName();
                         std::vector<m51::ListEntry> entries;
                         for (const m51dbg::BuildError& error : errors) {
                             if (!error.onAssembly && error.file.empty() && error.line > 0)
                                 entries.push_back({error.line - 1, std::to_string(error.line - 1) + ' ' + error.message});
                             else
                                 entries.push_back({-1, m51dbg::FormatBuildError(error, source.toStdString(),
                                                                                 Session::asmFileFor(source).toStdString())});
                         }
                         main->ErBox->setEntries(entries);
                         if (auto* reasons = qobject_cast<ResultEntryDelegate*>(main->ErBox->itemDelegate()))
                             reasons->setCompilerRows(0);
                         const m51::CompileResult& result = main->session().lastResult();
                         editor->showCompileResult(result.ProcBox, {}, entries, result.Definebox);
                     });
    // The Setup dialog's simulator choice, kept in the profile file.
    if (TNastav* setup = windows.setup) {
        const QString profile = TPlacement::ResolveProfilePath(QStringLiteral("Zelvar"));
        TProfileFile file;
        file.load(profile);
        const bool s51 = file.GetPrivateProfileString("Simulator", "Kind").trimmed().toLower() == "s51";
        setup->Simulator->setCurrentIndex(s51 ? 1 : 0);
        debugger->setSimulator(s51 ? m51dbg::SimulatorKind::S51 : m51dbg::SimulatorKind::Core);
        QObject::connect(setup->Simulator, &QComboBox::currentIndexChanged, debugger, [debugger, profile, main](int index) {
            debugger->setSimulator(index == 1 ? m51dbg::SimulatorKind::S51 : m51dbg::SimulatorKind::Core);
            TProfileFile file;
            file.load(profile);
            file.WritePrivateProfileString("Simulator", "Kind", index == 1 ? "s51" : "core");
            if (!file.save(profile))
                main->statusBar()->showMessage(QStringLiteral("Unable to write to %1").arg(profile));
        });
    }
    attachCoverage(windows, debugger);
    return debugger;
}
