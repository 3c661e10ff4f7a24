#include "ide/Session.h"

#include "ide/BuildChain.h"
#include "ide/BuildScriptOutput.h"
#include "common/Cp1250.h"
#include "toolchain/Build.h"
#include "ide/ProgramFolder.h"
#include "ide/TextFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTime>

Session::Session(QObject* parent)
    : QObject(parent), m_document(new SourceDocument(this))
{
    connect(m_document, &SourceDocument::pathChanged, this, &Session::fileChanged);
    connect(m_document, &SourceDocument::modifiedChanged, this, &Session::modifiedChanged);
    m_buildChain = new TBuildChain(programFolder(), [this] { return currentFile(); }, this);
    connect(m_buildChain, &TBuildChain::buildStarted, this, [this] { emit buildStarted(currentFile()); });
    connect(m_buildChain, &TBuildChain::buildFinished, this, [this](bool ok, const QString& output) {
        m_buildOutput = output;
        // A script that worked adds only what names a line or warns; its
        // chatter stays out of the error list.
        std::vector<m51::Diagnostic> messages =
            readBuildScriptOutput(output, asmFileFor(currentFile()), m_build.compiled.LineMap);
        if (ok)
            std::erase_if(messages, [](const m51::Diagnostic& d) { return d.severity == m51::Severity::Note; });
        m_build.scriptDiagnostics = std::move(messages);
        setDiagnostics();
        const QString at = QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
        setOutcome((ok ? QStringLiteral("Build finished %1") : QStringLiteral("Build failed %1")).arg(at));
        emit buildFinished(ok);
    });
    connect(m_buildChain, &TBuildChain::listingReady, this, &Session::listingReady);
}

Session::~Session() = default;

ProfileStore& Session::profile()
{
    if (!m_profile)
        m_profile = std::make_unique<ProfileStore>();
    return *m_profile;
}

bool Session::loadSetup()
{
    if (const QString error = m_setup.load(setupFilePath()); !error.isEmpty()) {
        reportError(error);
        return false;
    }
    emit setupChanged();
    return true;
}

bool Session::setSetup(const Setup& setup)
{
    if (const QString error = setup.save(setupFilePath()); !error.isEmpty()) {
        reportError(error);
        return false;
    }
    m_setup = setup;
    emit setupChanged();
    return true;
}

void Session::fileWasOpened(const QString& path)
{
    Setup changed = m_setup;
    changed.setLastFile(path);
    setSetup(changed);
    emit fileOpened(path);
}

void Session::setModified(bool modified)
{
    m_document->setModified(modified);
}

QString Session::displayName() const
{
    return currentFile().isEmpty() ? QStringLiteral("Untitled") : QFileInfo(currentFile()).fileName();
}

bool Session::isAssemblySource(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("asm") || suffix == QLatin1String("a51");
}

bool Session::isAssemblySource() const
{
    return isAssemblySource(currentFile());
}

const ProgramBuild& Session::build(const std::vector<std::string>& lines, Goal goal)
{
    // Told even when nothing was built again: the step's errors are shown anew.
    buildStages(lines, goal);
    emit diagnosticsChanged();
    return m_build;
}

bool Session::buildStages(const std::vector<std::string>& lines, Goal goal)
{
    const std::string path = currentFile().toStdString();
    bool changed = false;
    if (!m_build.isOf(path, lines)) {
        const int compiles = m_build.compiles;
        m_build = CompileStage(path, lines);
        m_build.compiles += compiles;
        changed = true;
    }
    if (goal == Goal::Program && !m_build.assembled) {
        AssembleStage(m_build);
        changed = true;
    }
    if (changed)
        m_diagnostics = m_build.diagnostics();
    return changed;
}

void Session::setDiagnostics()
{
    m_diagnostics = m_build.diagnostics();
    emit diagnosticsChanged();
}

void Session::setOutcome(const QString& text)
{
    m_outcome = text;
    emit outcomeChanged(text);
}

QString Session::compile(const std::vector<std::string>& sourceLines, const QString& command)
{
    buildStages(sourceLines, Goal::Compile);
    // The assembler's refusals too, as a build would meet them.
    m_diagnostics = m_build.diagnostics();
    if (!m_build.assembled) {
        const std::vector<m51::Diagnostic> refused = CheckAssembly(m_build);
        m_diagnostics.insert(m_diagnostics.end(), refused.begin(), refused.end());
    }
    const QString error = m_build.assemblySource
                              ? QString()
                              : writeFileBytes(asmFileFor(currentFile()), joinLinesCrLf(m_build.compiled.Output));
    m_asmWritten = error.isEmpty();
    const size_t errors = m51::ErrorCount(m_diagnostics);
    setOutcome(command + (!m_asmWritten ? QStringLiteral(": the assembly file could not be written")
                          : errors == 0 ? QStringLiteral(": no errors")
                          : errors == 1 ? QStringLiteral(": 1 error")
                                        : QStringLiteral(": %1 errors").arg(errors)));
    emit compiled();
    return error;
}

QString Session::asmFileFor(const QString& sourcePath)
{
    // The rule looks only at '.', '/' and '\', which UTF-8 never uses inside a
    // multi-byte character, so any path survives it unchanged.
    return QString::fromStdString(m51::AsmFileName(sourcePath.toStdString()));
}

QString Session::startBuild()
{
    if (isAssemblySource()) {
        if (!m_build.assemblySource || !m_build.program.ok)
            return {};
        const QFileInfo info(currentFile());
        const QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
        QString error = writeFileBytes(base + QStringLiteral(".hex"), QByteArray::fromStdString(m_build.program.hex));
        if (error.isEmpty())
            error = writeFileBytes(base + QStringLiteral(".lst"), QByteArray::fromStdString(m_build.program.listing));
        if (!error.isEmpty())
            return error;
        emit listingReady(base + QStringLiteral(".lst"));
        return {};
    }
    if (!m_setup.buildAssembly())
        return {};
    return m_buildChain->RunBatchBuild(BuildChain::ShowModeFromText(m_setup.visibility()));
}

bool Session::isBuilding() const
{
    return m_buildChain->runningBuilds() > 0;
}
