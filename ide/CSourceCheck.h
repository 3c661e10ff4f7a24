#pragma once
// Check (F9) of a C source: SDCC compiles the one file (with its project's
// options: NAME.m51proj beside it, else the defaults) on a thread of its own,
// so the window goes on while it runs. What SDCC says comes back as
// "file:line: message" texts and as the markers of the file checked.

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class QThread;

class CSourceCheck : public QObject {
    Q_OBJECT
public:
    explicit CSourceCheck(QObject* parent = nullptr);
    ~CSourceCheck() override;  // waits for a check that runs

    // Starts checking `path` (a saved .c file); false while a check runs.
    bool start(const QString& path, const QString& sdccProgram = {});
    bool isRunning() const { return m_worker != nullptr; }

signals:
    // `messages`: "file:line: message" (full paths), or why SDCC could not
    // run; `markers`: line index -> reason, for the file checked; `summary`
    // for the status bar.
    void finished(const QStringList& messages, const QMap<int, QString>& markers, const QString& summary);

private:
    QThread* m_worker = nullptr;
};
