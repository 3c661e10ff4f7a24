#pragma once
// TExecuteThread: the worker thread of one build. It starts the generated
// build script, waits for it without a time limit and ends; its QThread::finished
// signal is the end notification, which the build chain receives on the main
// thread. The thread touches only its own fields and the process it starts.
//
// On Linux the script is run by /bin/sh in a process group of its own; with a
// ShowMode other than 0 it runs inside the desktop's terminal emulator
// (x-terminal-emulator -e) where one is installed, otherwise unseen. On Windows
// the command interpreter runs it, and ShowMode is the show-window code of its
// console window (0 hidden, 1 normal, 2 minimised, 7 minimised inactive, ...).

#include <QString>
#include <QThread>
#include <atomic>

class TExecuteThread : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;

    QString CommandLine;   // full path of the script to run, no arguments
    int ShowMode = 0;
    int StartFailed = 0;   // -1 when the process could not be started
    QString WorkingFolder; // empty: the program's current folder
    // What the script wrote (standard output and error, merged) once the
    // thread has ended; empty when it ran in a terminal window.
    QByteArray Output;

    // The script's exit code once the thread has ended; -1 when it did not start
    // or did not end normally.
    int exitCode() const { return m_exitCode; }
    // Ends a running script and everything it started (used when Zelvar closes
    // during a build); the thread then ends as usual.
    void abort();

protected:
    void run() override; // the thread body (Execute)

private:
    std::atomic<bool> m_abort{false};
    std::atomic<qint64> m_pid{0};
    std::atomic<int> m_exitCode{-1};
};
