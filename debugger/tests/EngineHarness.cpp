#include "debugger/tests/EngineHarness.h"

#include "assembler/Assembler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace m51dbg::test {

Program AssembleProgram(const std::string& source, const QTemporaryDir& dir)
{
    m51asm::AssembleOptions options;
    options.shortestJumps = true;  // as ProgramBuilder assembles
    const m51asm::AssembleResult result = m51asm::Assemble(source, options);
    Program program;
    for (const auto& error : result.errors)
        qWarning("asm line %d: %s", error.line, error.message.c_str());
    program.hexPath = dir.filePath("program.hex");
    QFile file(program.hexPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(result.hex.data(), static_cast<qint64>(result.hex.size()));
    program.code = result.image;
    std::vector<SourceMap::AddressEntry> entries;
    for (const auto& entry : result.addressMap)
        entries.push_back({entry.line, entry.address, entry.size});
    program.map = SourceMap({}, entries);
    return program;
}

QString WaitForStopReason(DebugEngine& engine, int timeoutMs, DebugEngine::StopCause* cause)
{
    QEventLoop loop;
    QString reason = QStringLiteral("no stop within %1 ms").arg(timeoutMs);
    auto c1 = QObject::connect(&engine, &DebugEngine::stopped, &loop, [&](DebugEngine::StopCause why) {
        reason.clear();
        if (cause)
            *cause = why;
        loop.quit();
    });
    auto c2 = QObject::connect(&engine, &DebugEngine::failed, &loop, [&](const QString& message) {
        reason = message;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    return reason;
}

bool WaitForStop(DebugEngine& engine, int timeoutMs, DebugEngine::StopCause* cause)
{
    return WaitForStopReason(engine, timeoutMs, cause).isEmpty();
}

void Pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

int LineOf(const QByteArray& source, const char* text)
{
    const QList<QByteArray> lines = source.split('\n');
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(text))
            return i;
    return -1;
}

} // namespace m51dbg::test
