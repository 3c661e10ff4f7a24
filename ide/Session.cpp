#include "Session.h"

#include "BuildChain.h"
#include "Cp1250.h"
#include "ProgramFolder.h"
#include "TextFiles.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

Session::Session(QObject* parent)
    : QObject(parent)
{
    m_buildChain = new TBuildChain(programFolder(), [this] { return m_currentFile; }, this);
    connect(m_buildChain, &TBuildChain::buildStarted, this, [this] { emit buildStarted(m_currentFile); });
    connect(m_buildChain, &TBuildChain::buildFinished, this, [this](bool ok, const QString& output) {
        m_buildOutput = output;
        m_buildMessages = buildMessageEntries(output, asmFileFor(m_currentFile), m_result.LineMap);
        emit buildFinished(ok);
    });
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
    std::optional<FileError> failed;
    try {
        writeFileBytes(asmFileFor(m_currentFile), joinLinesCrLf(m_result.Output));
    } catch (const FileError& error) {
        failed = error;
    }
    m_asmWritten = !failed;
    emit compiled();
    if (failed)
        throw *failed;
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

std::vector<m51::ListEntry> Session::buildMessageEntries(const QString& output, const QString& asmFile,
                                                         const std::vector<int>& lineMap)
{
    // "FILE:LINE: text", FILE the .asm file by its full path or its name.
    static const QRegularExpression message(QStringLiteral("^(.+):(\\d+): (.*)$"));
    const QString asmName = QFileInfo(asmFile).fileName();
    std::vector<m51::ListEntry> entries;
    for (const QString& line : withLfLineEnds(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (int(entries.size()) == MaxBuildMessages)
            break;
        m51::ListEntry entry{-1, cp1250::encode(line)};
        const QRegularExpressionMatch match = message.match(line);
        if (match.hasMatch() && !asmName.isEmpty()) {
            const QString file = match.captured(1);
            const bool ours = file == asmFile || QFileInfo(file).fileName() == asmName;
            bool ok = false;
            const qlonglong asmLine = match.captured(2).toLongLong(&ok);
            if (ours && ok && asmLine >= 1 && asmLine <= qlonglong(lineMap.size()) && lineMap[size_t(asmLine - 1)] >= 0) {
                entry.line = lineMap[size_t(asmLine - 1)];
                entry.text = std::to_string(entry.line) + ' ' + entry.text;
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool Session::isBuilding() const
{
    return m_buildChain->runningBuilds() > 0;
}
