#include "ide/CSourceCheck.h"

#include "sdcc/CProject.h"
#include "sdcc/ProjectBuild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <memory>

namespace {

struct CheckOutcome {
    QStringList messages;
    QMap<int, QString> markers;
    QString summary;
};

// The project the file belongs to: NAME.m51proj of its folder, else the folder's .c files.
sdcc::CProject ProjectOf(const QFileInfo& source, QString& problem)
{
    const QDir folder = source.dir();
    const QStringList projects = folder.entryList({QStringLiteral("*.m51proj")}, QDir::Files, QDir::Name);
    if (projects.isEmpty())
        return sdcc::DefaultProject(folder.path().toStdString(), source.fileName().toStdString());
    QFile file(folder.filePath(projects.front()));
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1: cannot read: %2").arg(file.fileName(), file.errorString());
        return {};
    }
    sdcc::ProjectReadResult read = sdcc::ReadProject(file.readAll().toStdString(), folder.path().toStdString(),
                                                     QFileInfo(projects.front()).completeBaseName().toStdString());
    if (!read.errors.empty())
        problem = QStringLiteral("%1:%2: %3")
                      .arg(file.fileName())
                      .arg(read.errors.front().line)
                      .arg(QString::fromStdString(read.errors.front().message));
    return read.project;
}

CheckOutcome Check(const QString& path, const QString& sdccProgram)
{
    CheckOutcome out;
    const QFileInfo source(path);
    QString problem;
    const sdcc::CProject project = ProjectOf(source, problem);
    if (!problem.isEmpty()) {
        out.messages << problem;
        out.summary = QStringLiteral("The project file has an error");
        return out;
    }
    const sdcc::ProjectBuildResult result =
        sdcc::CheckSource(project, source.fileName().toStdString(), sdcc::SdccProgram(sdccProgram.toStdString()));
    if (!result.failure.empty()) {
        out.messages << QString::fromStdString(result.failure);
        out.summary = QStringLiteral("SDCC could not run");
        return out;
    }
    int errors = 0, warnings = 0;
    for (const sdcc::Message& m : result.messages) {
        const QString file = m.file.empty() ? QString() : QDir(source.path()).absoluteFilePath(QString::fromStdString(m.file));
        const QString text = QString::fromStdString(m.text);
        const bool error = m.severity == sdcc::Message::Severity::Error;
        errors += error;
        warnings += m.severity == sdcc::Message::Severity::Warning;
        const QString kind = error ? QStringLiteral("error") : m.severity == sdcc::Message::Severity::Warning
                                                                  ? QStringLiteral("warning")
                                                                  : QStringLiteral("note");
        out.messages << (file.isEmpty() ? QStringLiteral("%1: %2").arg(kind, text)
                                        : QStringLiteral("%1:%2: %3: %4").arg(file).arg(m.line).arg(kind, text));
        if (m.line > 0 && QFileInfo(file) == source && m.severity != sdcc::Message::Severity::Note) {
            QString& marker = out.markers[m.line - 1];
            marker = marker.isEmpty() ? text : marker + QLatin1Char('\n') + text;
        }
    }
    out.summary = errors + warnings == 0
                      ? QStringLiteral("Checked %1: no errors").arg(source.fileName())
                      : QStringLiteral("Checked %1: %2 error(s), %3 warning(s)").arg(source.fileName()).arg(errors).arg(warnings);
    return out;
}

} // namespace

CSourceCheck::CSourceCheck(QObject* parent) : QObject(parent) {}

CSourceCheck::~CSourceCheck()
{
    if (!m_worker)
        return;
    m_worker->disconnect(this);
    m_worker->wait();
    delete m_worker;
}

bool CSourceCheck::start(const QString& path, const QString& sdccProgram)
{
    if (m_worker)
        return false;
    auto outcome = std::make_shared<CheckOutcome>();
    m_worker = QThread::create([outcome, path, sdccProgram] { *outcome = Check(path, sdccProgram); });
    connect(m_worker, &QThread::finished, this, [this, outcome] {
        m_worker->deleteLater();
        m_worker = nullptr;
        emit finished(outcome->messages, outcome->markers, outcome->summary);
    });
    m_worker->start();
    return true;
}
