#include "ide/ShellRun.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

ShellTarget shellTarget(const QString& command)
{
    if (command.isEmpty())
        return {};
    const QFileInfo info(command);
    if (info.exists()) {
#ifndef Q_OS_WIN
        // The desktop would open a program file as a document; start it instead.
        if (info.isFile() && info.isExecutable())
            return {ShellTarget::Program, info.absoluteFilePath()};
#endif
        return {ShellTarget::Document, info.absoluteFilePath()};
    }
    if (!command.contains(QLatin1Char('/')) && !command.contains(QLatin1Char('\\'))) {
        const QString program = QStandardPaths::findExecutable(command);
        if (!program.isEmpty())
            return {ShellTarget::Program, program};
    }
    // A scheme of one letter is a Windows drive, not a URL.
    const QUrl url(command, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1)
        return {ShellTarget::Url, command};
    return {};
}

void ShellRun(const QString& command)
{
    const ShellTarget target = shellTarget(command);
    switch (target.kind) {
    case ShellTarget::Program:
        QProcess::startDetached(target.target, {});
        break;
    case ShellTarget::Document:
        QDesktopServices::openUrl(QUrl::fromLocalFile(target.target));
        break;
    case ShellTarget::Url:
        QDesktopServices::openUrl(QUrl(target.target));
        break;
    case ShellTarget::Nothing:
        break;
    }
}
