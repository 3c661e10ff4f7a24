#include "ide/WEExecuteThread.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

void TExecuteThread::run()
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = WORD(ShowMode);
    PROCESS_INFORMATION pi{};
    // The interpreter runs the batch file; the quotes keep a folder with blanks whole.
    QByteArray command = "cmd.exe /d /c \"\"" + CommandLine.toLocal8Bit() + "\"\"";
    const QByteArray folder = WorkingFolder.toLocal8Bit();
    if (m_abort || !CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                   folder.isEmpty() ? nullptr : folder.constData(), &si, &pi)) {
        StartFailed = -1;
        return;
    }
    m_pid = qint64(reinterpret_cast<quintptr>(pi.hProcess));
    if (m_abort)
        TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    m_pid = 0;
    DWORD code = 0;
    if (GetExitCodeProcess(pi.hProcess, &code))
        m_exitCode = int(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

void TExecuteThread::abort()
{
    m_abort = true;
    if (const qint64 handle = m_pid)
        TerminateProcess(reinterpret_cast<HANDLE>(quintptr(handle)), 1);
}

#else

void TExecuteThread::run()
{
    QString program = QStringLiteral("/bin/sh");
    QStringList arguments{CommandLine};
    if (ShowMode != 0) {
        const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
        if (!terminal.isEmpty()) {
            arguments.prepend(program);
            arguments.prepend(QStringLiteral("-e"));
            program = terminal;
        }
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!WorkingFolder.isEmpty())
        process.setWorkingDirectory(WorkingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    // Unseen, its messages are kept to show when the build fails.
    process.setProcessChannelMode(program == QLatin1String("/bin/sh") ? QProcess::MergedChannels
                                                                        : QProcess::ForwardedChannels);
    // A group of its own lets abort() end the assembler the script started too.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    if (m_abort) {
        StartFailed = -1;
        return;
    }
    process.start();
    if (!process.waitForStarted(-1)) {
        StartFailed = -1;
        return;
    }
    m_pid = process.processId();
    if (m_abort)
        ::kill(-pid_t(process.processId()), SIGTERM);
    while (!process.waitForFinished(100)) {
        if (process.state() == QProcess::NotRunning)
            break;
        Output += process.readAll();
    }
    Output += process.readAll();
    m_pid = 0;
    if (process.exitStatus() == QProcess::NormalExit)
        m_exitCode = process.exitCode();
}

void TExecuteThread::abort()
{
    m_abort = true;
    if (const qint64 pid = m_pid)
        ::kill(-pid_t(pid), SIGTERM);
}

#endif
