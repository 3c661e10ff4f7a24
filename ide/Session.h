#pragma once
// The working session of Zelvar, under its windows: the settings, the current
// source file and whether its text was changed, the result of the last
// compile and the state of Debug's build. It holds no widget. The program's
// start-up code owns one; every window gets it through its constructor and
// follows its signals, so the windows never reach into each other's fields.
//
// The current file is the session's SourceDocument (path, modified flag, line
// ends, watched on disk); the text itself is the editor's, and the session
// gets its lines for a compile.

#include "compiler/Compiler.h"
#include "ide/ProfileStore.h"
#include "ide/ProgramBuild.h"
#include "ide/Setup.h"
#include "ide/SourceDocument.h"

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class TBuildChain;

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject* parent = nullptr);
    ~Session() override;

    // The settings. loadSetup reads Zelvar.INI of the program folder (no file:
    // all empty and clear); an unreadable file is reported ("Cannot open file
    // %s") and changes nothing. setSetup writes the file first and takes the
    // new settings only when that worked ("Cannot create file %s" otherwise).
    // Both emit setupChanged when they took the settings.
    const Setup& setup() const { return m_setup; }
    // The profile file of the windows' places and the user's choices: the
    // run's one store of it, made at the first look.
    ProfileStore& profile();
    bool loadSetup();
    bool setSetup(const Setup& setup);

    // The current source file: its full path, empty for an untitled text.
    QString currentFile() const { return m_document->path(); }
    SourceDocument& document() const { return *m_document; }
    // A file was opened through the document: it becomes the last file of
    // the setup (saved at once); fileOpened tells who keeps a history.
    void fileWasOpened(const QString& path);
    // Whether the editor's text differs from the current file.
    bool isModified() const { return m_document->isModified(); }
    void setModified(bool modified);
    // The name a prompt shows for the current file ("Untitled" when it has none).
    QString displayName() const;

    // The one build step of Check, Debug and Run: builds `lines` of the
    // current file as far as `goal` asks (Compile: the lists and the
    // assembly; Program: the code too) and keeps the result. The same text
    // of the same file is not compiled again: a later step goes on from what
    // an earlier one built. Emits diagnosticsChanged (Check's compile emits
    // compiled instead).
    enum class Goal { Compile, Program };
    const ProgramBuild& build(const std::vector<std::string>& lines, Goal goal);
    const ProgramBuild& lastBuild() const { return m_build; }
    // Every stage's diagnostics of the last build (compiler, assembler, build script).
    const std::vector<m51::Diagnostic>& diagnostics() const { return m_diagnostics; }

    // Check: builds the lines (code page 1250), writes the .asm file of the
    // current file from the compile and emits compiled. Empty when done, else
    // the file error of that write (the result is kept all the same, the old
    // .asm too).
    // An assembly source (.asm, .a51) is assembled instead, with its include
    // files, and no file is written: the source is its own assembly.
    // An M51 source is assembled in memory too, so Check finds what the
    // assembler would refuse. `command` names the step in the outcome.
    [[nodiscard]] QString compile(const std::vector<std::string>& sourceLines,
                                  const QString& command = QStringLiteral("Check"));
    // Whether the current file is an assembly source rather than M51.
    bool isAssemblySource() const;
    static bool isAssemblySource(const QString& path);
    const m51::CompileResult& lastResult() const { return m_build.compiled; }
    // False when the last compile could not write its .asm file.
    bool lastAsmWritten() const { return m_asmWritten; }
    // The .asm file of a source path: the path cut before the first "." of its
    // file name, plus ".asm".
    static QString asmFileFor(const QString& sourcePath);

    // What the last step (Check, Debug's script) came to, for the status bar.
    QString outcome() const { return m_outcome; }

    // Debug's build: runs the build script on the current file when the setup
    // says "Compile ASM >> HEX"; returns the message to show when it could not
    // start (empty otherwise, also when no build was due).
    // An assembly source needs no script: its image and listing, made by the
    // last build, are written beside it (<name>.hex, <name>.lst) and
    // listingReady tells where; an error says what could not be written.
    QString startBuild();
    TBuildChain* buildChain() const { return m_buildChain; }
    bool isBuilding() const;
    // What the last build's script wrote; its messages are diagnostics of the
    // build (readBuildScriptOutput), an assembler's about the .asm file on the
    // M51 line that produced the assembly line.
    QString lastBuildOutput() const { return m_buildOutput; }

signals:
    void setupChanged();
    void fileChanged(const QString& path);
    void fileOpened(const QString& path);
    void modifiedChanged(bool modified);
    void compiled();
    void diagnosticsChanged();
    void outcomeChanged(const QString& text);
    void buildStarted(const QString& file);
    // ok: the script ended with exit code 0.
    void buildFinished(bool ok);
    // The build left a listing file.
    void listingReady(const QString& path);

private:
    // The build step without its signal: whether the diagnostics changed.
    bool buildStages(const std::vector<std::string>& lines, Goal goal);
    void setDiagnostics();
    void setOutcome(const QString& text);

    Setup m_setup;
    std::unique_ptr<ProfileStore> m_profile;
    SourceDocument* m_document;
    ProgramBuild m_build;
    std::vector<m51::Diagnostic> m_diagnostics;
    bool m_asmWritten = true;
    QString m_outcome;
    QString m_buildOutput;
    TBuildChain* m_buildChain;
};
