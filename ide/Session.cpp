#include "Session.h"

#include "BuildChain.h"
#include "ProgramFolder.h"
#include "TextFiles.h"

#include <QFileInfo>

Session::Session(QObject* parent)
    : QObject(parent)
{
    m_buildChain = new TBuildChain(programFolder(), [this] { return m_currentFile; }, this);
    connect(m_buildChain, &TBuildChain::buildStarted, this, [this] { emit buildStarted(m_currentFile); });
    connect(m_buildChain, &TBuildChain::buildFinished, this, &Session::buildFinished);
    connect(m_buildChain, &TBuildChain::listingReady, this, &Session::listingReady);
}

Session::~Session() = default;

bool Session::loadSetup()
{
    try {
        m_setup = Setup::load(setupFilePath());
    } catch (const FileError& error) {
        reportError(error.message());
        return false;
    }
    emit setupChanged();
    return true;
}

bool Session::setSetup(const Setup& setup)
{
    try {
        setup.save(setupFilePath());
    } catch (const FileError& error) {
        reportError(error.message());
        return false;
    }
    m_setup = setup;
    emit setupChanged();
    return true;
}

void Session::setCurrentFile(const QString& path)
{
    if (path == m_currentFile)
        return;
    m_currentFile = path;
    emit fileChanged(path);
}

void Session::fileWasOpened(const QString& path)
{
    setCurrentFile(path);
    setModified(false);
    Setup changed = m_setup;
    changed.setLastFile(path);
    setSetup(changed);
    emit fileOpened(path);
}

void Session::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

QString Session::displayName() const
{
    return m_currentFile.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_currentFile).fileName();
}

void Session::compile(const std::vector<std::string>& sourceLines)
{
    m_result = m51::CompileSource(sourceLines);
    emit compiled();
    writeFileBytes(asmFileFor(m_currentFile), joinLinesCrLf(m_result.Output));
}

QString Session::asmFileFor(const QString& sourcePath)
{
    // The rule looks only at '.', '/' and '\', which UTF-8 never uses inside a
    // multi-byte character, so any path survives it unchanged.
    return QString::fromStdString(m51::AsmFileName(sourcePath.toStdString()));
}

QString Session::startBuild()
{
    if (!m_setup.buildAssembly())
        return {};
    return m_buildChain->RunBatchBuild(BuildChain::ShowModeFromText(m_setup.visibility()));
}

bool Session::isBuilding() const
{
    return m_buildChain->runningBuilds() > 0;
}
