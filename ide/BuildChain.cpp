#include "ide/BuildChain.h"

#include "compiler/Compiler.h"
#include "common/Cp1250.h"
#include "compiler/MyVision.h"
#include "common/FileWriteQt.h"
#include "ide/TextFiles.h"
#include "ide/WEExecuteThread.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace BuildChain {

std::string ReplacePlaceholders(std::string line, std::string_view name)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = line.find(Placeholder, from);
        if (at == std::string::npos)
            return line;
        line.replace(at, Placeholder.size(), name);
        from = at + name.size();
    }
}

std::string ShellQuote(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

QString BaseOf(const QString& path)
{
    return QFile::decodeName(QByteArray::fromStdString(m51::BaseName(QFile::encodeName(path).toStdString())));
}

#ifdef Q_OS_WIN

std::string FileNameText(const QString& base)
{
    if (base.isEmpty())
        return {};
    const QByteArray longName = QDir::toNativeSeparators(base + QStringLiteral(".m51")).toLocal8Bit();
    char buffer[260];
    const DWORD n = GetShortPathNameA(longName.constData(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return {};
    return m51::BaseName(std::string_view(buffer, n));
}

QString TemplateName() { return QStringLiteral("compile.bat"); }
QString ScriptName() { return QStringLiteral("compil.bat"); }

#else

namespace {

// Whether <base>.m51 exists, whatever the letter case of its extension.
bool sourceExists(const QString& base)
{
    const QFileInfo info(base);
    const QString wanted = info.fileName() + QStringLiteral(".m51");
    if (QFileInfo(info.dir(), wanted).isFile())
        return true;
    QDirIterator it(info.absolutePath(), QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

std::string FileNameText(const QString& base)
{
    if (base.isEmpty() || !sourceExists(base))
        return ShellQuote({});
    return ShellQuote(QFile::encodeName(base).toStdString());
}

QString TemplateName() { return QStringLiteral("compile.sh"); }
QString ScriptName() { return QStringLiteral("compil.sh"); }

#endif

int ShowModeFromText(const QString& visibility)
{
    const double v = MyVision::TextToNumber(cp1250::encode(visibility));
    if (!std::isfinite(v))
        return 0;
    return int(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

} // namespace BuildChain

TBuildChain::TBuildChain(const QString& programFolder, std::function<QString()> currentFile, QObject* parent)
    : QObject(parent), m_programFolder(programFolder), m_currentFile(std::move(currentFile))
{
}

TBuildChain::~TBuildChain()
{
    for (TExecuteThread* thread : m_threads)
        thread->abort();
    for (TExecuteThread* thread : m_threads) {
        thread->wait();
        delete thread;
    }
}

QString TBuildChain::templatePath() const
{
    return m_programFolder + QLatin1Char('/') + BuildChain::TemplateName();
}

QString TBuildChain::scriptPath() const
{
    return m_programFolder + QLatin1Char('/') + BuildChain::ScriptName();
}

QString TBuildChain::RunBatchBuild(int showMode)
{
    const QString base = BuildChain::BaseOf(m_currentFile ? m_currentFile() : QString());
    // An untitled text has no outputs of its own; nothing relative to some
    // current folder is deleted for it.
    if (!base.isEmpty()) {
        for (const char* ext : {".lst", ".bin", ".hex"}) {
            const QString old = base + QLatin1String(ext);
            if (QFileInfo::exists(old))
                QFile::remove(old);
        }
    }
    const std::string name = BuildChain::FileNameText(base);

    QFile templ(templatePath());
    if (!templ.open(QIODevice::ReadOnly))
        return FileError::cannotOpen(templatePath());
    const QByteArray text = templ.readAll();
    CBox = m51::SplitSourceLines(std::string_view(text.constData(), std::size_t(text.size())));
    for (std::string& line : CBox)
        line = BuildChain::ReplacePlaceholders(std::move(line), name);

#ifdef Q_OS_WIN
    const std::string eol = "\r\n";
#else
    const std::string eol = "\n"; // a CR would end up inside the last word of every shell line
#endif
    std::string script;
    for (const std::string& line : CBox)
        script += line + eol;
    // Written aside and renamed, so a build still reading the previous script
    // keeps its own copy.
    const QString reason = m51::writeFileAtomically(scriptPath(), QByteArray::fromStdString(script));
    if (!reason.isEmpty())
        return FileError::cannotCreate(scriptPath(), reason);

    auto* thread = new TExecuteThread;
    thread->CommandLine = QDir::toNativeSeparators(scriptPath());
    thread->ShowMode = showMode;
    // The build runs in the source's folder, so relative names in a template
    // mean the same thing whatever the program's current folder is.
    if (!base.isEmpty())
        thread->WorkingFolder = QFileInfo(base).absolutePath();
    // finished is emitted on the worker thread; through `this` it is queued to the main thread.
    connect(thread, &QThread::finished, this, [this, thread] { BuildFinished(thread); });
    m_threads.push_back(thread);
    thread->start(QThread::TimeCriticalPriority);
    emit buildStarted();
    return {};
}

void TBuildChain::BuildFinished(TExecuteThread* sender)
{
    m_threads.erase(std::remove(m_threads.begin(), m_threads.end(), sender), m_threads.end());
    const bool ok = sender->StartFailed == 0 && sender->exitCode() == 0;
    const QString output = QString::fromLocal8Bit(sender->Output);
    sender->deleteLater();
    // The current file of this moment: a file opened meanwhile is the one looked at.
    const QString base = BuildChain::BaseOf(m_currentFile ? m_currentFile() : QString());
    const QString listing = base + QStringLiteral(".lst");
    if (!base.isEmpty() && QFileInfo(listing).isFile())
        emit listingReady(listing);
    emit buildFinished(ok, output);
}

QString TBuildChain::ListingText(const QByteArray& bytes)
{
    return withLfLineEnds(western::decode(bytes));
}

QString TBuildChain::ReadListingText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? ListingText(f.readAll()) : QString();
}
