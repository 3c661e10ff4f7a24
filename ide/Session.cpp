#include "Session.h"

#include "BuildChain.h"
#include "Cp1250.h"
#include "ProgramCode.h"
#include "ProgramFolder.h"
#include "TextFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

Session::Session(QObject* parent)
    : QObject(parent), m_document(new SourceDocument(this))
{
    connect(m_document, &SourceDocument::pathChanged, this, &Session::fileChanged);
    connect(m_document, &SourceDocument::modifiedChanged, this, &Session::modifiedChanged);
    m_buildChain = new TBuildChain(programFolder(), [this] { return currentFile(); }, this);
    connect(m_buildChain, &TBuildChain::buildStarted, this, [this] { emit buildStarted(currentFile()); });
    connect(m_buildChain, &TBuildChain::buildFinished, this, [this](bool ok, const QString& output) {
        m_buildOutput = output;
        m_buildMessages = buildMessageEntries(output, asmFileFor(currentFile()), m_result.LineMap);
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

void Session::compile(const std::vector<std::string>& sourceLines)
{
    if (isAssemblySource()) {
        std::string bytes;
        for (const std::string& line : sourceLines)
            bytes += line + "\r\n";
        const QFileInfo info(currentFile());
        const m51dbg::ProgramCode code = m51dbg::AssembleSource(bytes, info.fileName().toStdString(),
                                                                currentFile().toStdString());
        m_result = {};
        // The ASM window shows the source itself: it is the program's assembly.
        m_result.Output = sourceLines;
        m_asmHex = code.ok ? code.hex : std::string();
        m_asmListing = code.listing;
        for (const m51dbg::BuildError& error : code.errors) {
            std::string text = error.message;
            if (!error.context.empty())
                text += ", " + error.context;
            if (!error.onAssembly && error.line > 0)
                m_result.ErBox.push_back({error.line - 1, std::to_string(error.line - 1) + ' ' + text});
            else if (error.line > 0)
                m_result.ErBox.push_back(
                    {-1, (error.file.empty() ? info.fileName().toStdString()
                                             : info.dir().relativeFilePath(QString::fromStdString(error.file)).toStdString()) +
                             ':' +
                             std::to_string(error.line) + ": " + text});
            else
                m_result.ErBox.push_back({-1, text});
        }
        m_asmWritten = true;
        emit compiled();
        return;
    }
    m_result = m51::CompileSource(sourceLines);
    std::optional<FileError> failed;
    try {
        writeFileBytes(asmFileFor(currentFile()), joinLinesCrLf(m_result.Output));
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
    if (isAssemblySource()) {
        if (m_asmHex.empty())
            return {};
        const QFileInfo info(currentFile());
        const QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
        try {
            writeFileBytes(base + QStringLiteral(".hex"), QByteArray::fromStdString(m_asmHex));
            writeFileBytes(base + QStringLiteral(".lst"), QByteArray::fromStdString(m_asmListing));
        } catch (const FileError& error) {
            return error.message();
        }
        emit listingReady(base + QStringLiteral(".lst"));
        return {};
    }
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
