#include "ide/DebugWiring.h"

#include "ide/CLexer.h"
#include "ide/CodeEditor.h"
#include "ide/CoverageWiring.h"
#include "debugger/window/DebugController.h"
#include "debugger/window/EngineMemory.h"
#include "common/FileWriteQt.h"
#include "ide/ListBox.h"
#include "ide/Main.h"
#include "ide/Nastavu.h"
#include "ide/Placement.h"
#include "toolchain/Build.h"
#include "ide/Session.h"
#include "ide/WindowSet.h"
#include "ide/asembu.h"
#include "ide/editoru.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include <memory>
#include <utility>

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
    // Run builds through the session's one build step: a source already
    // checked (or run) with this text is not compiled again, and every
    // stage's errors land in the session's diagnostics, which the error list
    // and the editor's markers show.
    debugger->setProgramBuilder([main, editor](const QString& outputDir) {
        Session& session = main->session();
        const ProgramBuild& build = session.build(editor->lines(), Session::Goal::Program);
        const QString source =
            session.currentFile().isEmpty() ? QStringLiteral("untitled.M51") : session.currentFile();
        const QString asmName = build.assemblySource ? source : Session::asmFileFor(source);
        const QString base = QFileInfo(source).completeBaseName().section(QLatin1Char('.'), 0, 0);
        return m51dbg::FinishBuild(build.program, source, asmName,
                                   QDir(outputDir).filePath(base + QStringLiteral(".hex")));
    });
    debugger->setCaretLineProvider([editor] { return editor->CaretLine() - 1; });
    // SDCC builds C programs from the files on disk: the current one is saved first.
    debugger->setSourceSaver([main] { return !main->session().isModified() || main->UloClick(false); });
    debugger->setRebuildQuestion([main] {
        return QMessageBox::question(main, QStringLiteral("Zelvar"),
                                     QStringLiteral("The program changed: rebuild and restart?")) == QMessageBox::Yes;
    });

    // Another source ends the session of the old one: its registers, board
    // and watches belong to the old program. A running program is asked about.
    main->setEndDebuggingCheck([main, debugger](const QString& next) {
        if (debugger->isProgramFile(next))
            return true;
        if (debugger->engine()->state() == m51dbg::DebugEngine::State::Running
            && QMessageBox::question(main, QStringLiteral("Zelvar"),
                                     QStringLiteral("The program is running. Stop debugging it?"))
                   != QMessageBox::Yes)
            return false;
        debugger->endSession();
        return true;
    });

    // The Run menu comes after the main window's own menu items, so theirs
    // keep their places. Its keys work from every window, as the main window's commands do;
    // F2 stays the editor's own (it toggles at the editor's caret).
    main->menuBar()->addMenu(debugger->createMenu(main));
    using Action = m51dbg::DebugController::Action;
    for (Action which : {Action::Run, Action::Stop, Action::StepLine, Action::StepInto, Action::StepOut,
                         Action::RunToCaret, Action::Animate, Action::StepBack, Action::ReverseContinue}) {
        if (QAction* action = debugger->action(which))
            action->setShortcutContext(Qt::ApplicationShortcut);
    }

    TAed* assembly = windows.assembly;
    QObject::connect(editor, &TEd::breakpointsChanged, debugger, &m51dbg::DebugController::setBreakpoints);
    QObject::connect(debugger, &m51dbg::DebugController::breakpointsChanged, editor, &TEd::setBreakpoints);
    QObject::connect(debugger, &m51dbg::DebugController::executionLineChanged, editor,
                     [editor, assembly](int sourceLine, int asmLine) {
                         editor->showExecutionLine(sourceLine);
                         assembly->showExecutionLine(asmLine);
                     });
    // Another source file of the program opened while it is debugged (by
    // hand, or as the program counter reaches it) goes on in the same session.
    auto shown = std::make_shared<QString>(main->session().currentFile());
    QObject::connect(&main->session(), &Session::fileOpened, debugger, [debugger, shown](const QString& path) {
        const QString previous = std::exchange(*shown, path);
        if (debugger->isProgramFile(path))
            debugger->switchSource(previous);
    });
    // A C program or one of several assembly modules stops in any of its
    // files: the editor opens the one the program counter is in (the session
    // goes on) and marks the line.
    QObject::connect(debugger, &m51dbg::DebugController::executionPlaceChanged, editor,
                     [main, editor, assembly](const QString& file, int line) {
                         if (file.isEmpty() || line < 0
                             || !(m51dbg::IsCSource(file) || m51dbg::IsAssemblySource(file)))
                             return;
                         const QString previous = main->session().currentFile();
                         if (QFileInfo(file) != QFileInfo(previous)) {
                             if (!QFileInfo::exists(file) || !main->maySetTextAside())
                                 return;
                             // The ASM window follows the program, not the file opened.
                             const bool assemblyShown = assembly->isVisible();
                             main->OpenSourceFile(file);
                             assembly->setVisible(assemblyShown);
                         }
                         editor->showExecutionLine(line);
                     });
    // A line of another of the C program's files (a call stack frame, a Profile row): opened and shown.
    QObject::connect(debugger, &m51dbg::DebugController::sourcePlaceRequested, editor,
                     [main, editor, debugger](const QString& file, int line) {
                         const QString previous = main->session().currentFile();
                         if (QFileInfo(file) != QFileInfo(previous)) {
                             if (!QFileInfo::exists(file) || !main->maySetTextAside())
                                 return;
                             main->OpenSourceFile(file);
                             debugger->switchSource(previous);
                         }
                         editor->showLine(line);
                     });
    // While a C program is stopped, a name under the mouse shows its value.
    editor->setValueTips([debugger, main](const QString& expression) {
        m51dbg::DebugEngine* engine = debugger->engine();
        if (!engine->isPaused() || engine->program().language != toolchain::Language::C
            || !m51dbg::IsCSource(main->session().currentFile()))
            return QString();
        const m51dbg::EngineMemory memory(engine);
        const toolchain::CResult result = toolchain::Evaluate(expression.toStdString(), engine->program(), memory,
                                                              {engine->machine().pc, std::nullopt});
        if (!result.value)
            return QString();
        const std::string type = toolchain::TypeName(*result.value, engine->program());
        return QStringLiteral("%1 = %2%3")
            .arg(expression,
                 QString::fromStdString(toolchain::FormatValue(*result.value, engine->program(), memory,
                                                               toolchain::ValueStyle::Rich)),
                 type.empty() ? QString() : QStringLiteral("  (%1)").arg(QString::fromStdString(type)));
    });
    // SDCC's errors on the lines of the C file in the editor (an M51 build's
    // come through the session's diagnostics).
    QObject::connect(debugger, &m51dbg::DebugController::buildFailed, editor,
                     [main, editor](const std::vector<toolchain::Diagnostic>& errors) {
                         const QFileInfo current(main->session().currentFile());
                         if (!IsCFile(current.filePath()))
                             return;
                         QMap<int, QString> markers;
                         for (const toolchain::Diagnostic& d : errors) {
                             if (d.line <= 0 || d.severity == m51::Severity::Note
                                 || QFileInfo(QString::fromStdString(d.file)) != current)
                                 continue;
                             QString& marker = markers[d.line - 1];
                             const QString reason = QString::fromStdString(d.message);
                             marker = marker.isEmpty() ? reason : marker + QLatin1Char('\n') + reason;
                         }
                         editor->setErrorMarkers(markers);
                     });
    // A call stack frame double-clicked: its line in the editor and the ASM window.
    QObject::connect(debugger, &m51dbg::DebugController::sourceLineRequested, editor,
                     [editor, assembly](int sourceLine, int asmLine) {
                         if (sourceLine >= 0)
                             editor->showLine(sourceLine);
                         if (asmLine >= 0)
                             assembly->showLine(asmLine);
                     });
    // The ASM window shows the assembly of the program being debugged, so its
    // marked line is the one the simulator executes.
    QObject::connect(debugger, &m51dbg::DebugController::built, assembly,
                     [assembly, main](const QString& text) {
                         assembly->setText(text);
                         // A C program's assembly comes module by module as
                         // it stops; its window shows as an M51 compile's does.
                         if (IsCFile(main->session().currentFile()))
                             assembly->show();
                     });
    QObject::connect(debugger, &m51dbg::DebugController::moduleAssemblyShown, assembly, &TAed::setText);
    QObject::connect(debugger, &m51dbg::DebugController::statusMessage, main,
                     [main](const QString& text) { main->statusBar()->showMessage(m51::quoteForMessage(text)); });
    // The messages join the error list (a board file's "NAME.board:LINE: ...",
    // a state that was refused); the first also shows in the status bar.
    QObject::connect(debugger, &m51dbg::DebugController::problems, main, [main](const QStringList& given) {
        QStringList messages;
        for (const QString& message : given)
            messages << m51::quoteForMessage(message);
        main->addProblems(messages);
    });
    // The Setup dialog's simulator and SDCC, kept in the profile file.
    const ProfileStore& profile = main->session().profile();
    debugger->setSimulator(profile.s51Simulator() ? m51dbg::SimulatorKind::S51 : m51dbg::SimulatorKind::Core);
    debugger->setSdccProgram(profile.sdccProgram());
    if (TNastav* setup = windows.setup) {
        QObject::connect(setup, &TNastav::simulatorChosen, debugger, [debugger](bool s51) {
            debugger->setSimulator(s51 ? m51dbg::SimulatorKind::S51 : m51dbg::SimulatorKind::Core);
        });
        QObject::connect(setup, &TNastav::sdccChosen, debugger, &m51dbg::DebugController::setSdccProgram);
    }
    attachCoverage(windows, debugger);
    return debugger;
}
