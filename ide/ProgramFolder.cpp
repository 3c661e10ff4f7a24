#include "ide/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifndef ZELVAR_DATADIR
#define ZELVAR_DATADIR ""
#endif

namespace {

QString& overrideFolder()
{
    static QString folder;
    return folder;
}

QString executableFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

bool folderIsWritable(const QString& folder)
{
    // A probe file tells more than the permission bits (read-only mounts, ACLs).
    QFile probe(QDir(folder).filePath(QStringLiteral(".zelvar-write-probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

QString dataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/Zelvar"));
}

QString decideProgramFolder()
{
    // An installed program (its resources in ../share/zelvar) keeps its files
    // in the data folder even where its bin folder happens to be writable
    // (an installation into the user's own prefix).
    const QString exe = executableFolder();
    const bool installed = QFileInfo(exe + QStringLiteral("/../share/zelvar")).isDir();
    if (!installed && folderIsWritable(exe))
        return exe;
    const QString data = dataFolder();
    QDir().mkpath(data);
    // What is missing comes from the installed resources, or from the
    // program's own folder when it is not installed; nothing is overwritten.
    if (installed)
        copyMissingFiles(installedResourceFolder(), data);
    else
        copyProgramFiles(exe, data);
    return data;
}

} // namespace

QString programFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    static const QString folder = decideProgramFolder();
    return folder;
}

void setProgramFolder(const QString& folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString installedResourceFolder()
{
    const QString beside = QDir::cleanPath(executableFolder() + QStringLiteral("/../share/zelvar"));
    if (QFileInfo(beside).isDir())
        return beside;
    return QStringLiteral(ZELVAR_DATADIR);
}

QString programBaseName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name.isEmpty() ? QStringLiteral("Zelvar") : name;
}

QString helpFilePath()
{
    return programFolder() + QLatin1Char('/') + programBaseName() + QStringLiteral(".rtf");
}

QString setupFilePath()
{
    return programFolder() + QStringLiteral("/Zelvar.INI");
}

void copyProgramFiles(const QString& from, const QString& to)
{
    const QString helpName = programBaseName() + QStringLiteral(".rtf");
    for (const QString& name : {helpName, QStringLiteral("Zelvar.INI"), QStringLiteral("compile.sh"),
                                QStringLiteral("compile.bat"), QStringLiteral("splash.jpg")}) {
        const QString source = QDir(from).filePath(name);
        const QString target = QDir(to).filePath(name);
        if (QFileInfo(source).isFile() && !QFileInfo::exists(target) && QFile::copy(source, target))
            QFile::setPermissions(target, QFile::permissions(source) | QFileDevice::WriteOwner);
    }
    copyMissingFiles(QDir(from).filePath(QStringLiteral("Macro")), QDir(to).filePath(QStringLiteral("Macro")));
}

void copyMissingFiles(const QString& from, const QString& to)
{
    if (from.isEmpty() || !QFileInfo(from).isDir())
        return;
    const QDir source(from);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(path));
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else if (!QFileInfo::exists(target) && QDir().mkpath(QFileInfo(target).path())
                 && QFile::copy(path, target))
            QFile::setPermissions(target, QFile::permissions(path) | QFileDevice::WriteOwner);
    }
}
