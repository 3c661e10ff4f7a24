// m51sim: runs an M51 program in the 8051 simulator for scripts and CI
// (firmware unit tests) and prints the machine state as NAME=VALUE lines.
#include "ProgramBuilder.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include "FileWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

using m51dbg::DebugEngine;

namespace {

int Fail(const std::string& message, int code)
{
    std::fprintf(stderr, "m51sim: %s\n", message.c_str());
    return code;
}

// Runs the program to its end condition and prints; returns the exit status.
class Runner : public QObject {
public:
    Runner(const m51sim::Options& options, const m51dbg::Program& program, int untilLine, const QByteArray& serialIn)
        : m_options(options), m_untilLine(untilLine), m_serialIn(serialIn)
    {
        m51dbg::EngineOptions engineOptions;
        engineOptions.simulator = QString::fromStdString(options.simulator);
        engineOptions.cpuType = QString::fromStdString(options.cpu);
        // The UART is connected only when a file feeds or records it.
        engineOptions.serialTerminal = !options.serialIn.empty() || !options.serialOut.empty();
        m_engine.setOptions(engineOptions);
        connect(&m_engine, &DebugEngine::serialReceived, this, [this](const QByteArray& bytes) { m_sent += bytes; });
        connect(&m_engine, &DebugEngine::failed, this, [this](const QString& message) {
            finish(Fail(message.toStdString(), 2));
        });
        connect(&m_engine, &DebugEngine::stopped, this, &Runner::onStopped);
        m_engine.start(program);
    }
    int exitCode() const { return m_exitCode; }

private:
    void onStopped(DebugEngine::StopCause cause)
    {
        if (cause == DebugEngine::StopCause::Started) {
            // s51 takes the bytes from the line as its UART receives them.
            m_engine.sendSerial(m_serialIn);
            if (m_untilLine >= 0) {
                if (m_engine.currentSourceLine() == m_untilLine) {
                    print(0);
                    return;
                }
                m_engine.setSourceBreakpoints({m_untilLine});
            }
            m_engine.run(m_options.steps);
            return;
        }
        if (m_untilLine >= 0 && m_engine.currentSourceLine() != m_untilLine) {
            std::fprintf(stderr, "m51sim: line %d not reached within %llu instructions\n", m_untilLine + 1,
                         static_cast<unsigned long long>(m_options.steps));
            print(3);
            return;
        }
        print(0);
    }

    // Prints every item in order; XRAM and code bytes are read first.
    void print(int code)
    {
        const auto& items = m_options.prints.empty() ? m_defaults : m_options.prints;
        auto lines = std::make_shared<std::vector<std::string>>(items.size());
        auto pending = std::make_shared<int>(1);
        auto done = [this, lines, pending, code] {
            if (--*pending > 0)
                return;
            for (const std::string& line : *lines)
                std::printf("%s\n", line.c_str());
            finish(code);
        };
        for (size_t i = 0; i < items.size(); ++i) {
            const m51sim::PrintItem& item = items[i];
            if (const auto text = m51sim::FormatItem(item, m_engine.machine())) {
                (*lines)[i] = *text;
                continue;
            }
            ++*pending;
            const auto memory = item.kind == m51sim::PrintItem::Kind::Xram ? DebugEngine::Memory::Xram
                                                                          : DebugEngine::Memory::Code;
            m_engine.read(memory, item.address, 1, [lines, i, item, done](auto bytes) {
                (*lines)[i] = bytes ? m51sim::FormatByte(item, (*bytes)[0]) : item.text + "=?";
                done();
            });
        }
        done();
    }

    void finish(int code)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_exitCode = code;
        // A result that did not reach standard output is a failed run.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            m_exitCode = Fail(std::string("cannot write the standard output: ") + std::strerror(errno ? errno : EIO), 2);
        // Bytes the program sent last may still be on the line.
        QTimer::singleShot(m_options.serialOut.empty() ? 0 : 50, this, [this] {
            if (!m_options.serialOut.empty()) {
                const std::string reason = m51::writeFileAtomically(
                    m_options.serialOut, std::string_view(m_sent.constData(), size_t(m_sent.size())));
                if (!reason.empty())
                    m_exitCode = Fail("cannot write " + m_options.serialOut + ": " + reason, 2);
            }
            QCoreApplication::exit(m_exitCode);
        });
    }

    m51sim::Options m_options;
    std::vector<m51sim::PrintItem> m_defaults = m51sim::DefaultPrints();
    int m_untilLine;
    QByteArray m_serialIn, m_sent;
    DebugEngine m_engine;
    int m_exitCode = 2;
    bool m_finished = false;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    const m51sim::ParseResult parsed = m51sim::ParseArguments(args);
    const m51sim::Options& options = parsed.options;
    if (options.help) {
        std::fputs(m51sim::Usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("m51sim %s\n", M51SIM_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "m51sim: %s\n%s", parsed.error.c_str(), m51sim::Usage);
        return 2;
    }

    const QString sourcePath = QString::fromLocal8Bit(options.source.c_str());
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return Fail("cannot read " + options.source + ": " + source.errorString().toStdString(), 2);
    QByteArray serialIn;
    if (!options.serialIn.empty()) {
        QFile in(QString::fromLocal8Bit(options.serialIn.c_str()));
        if (!in.open(QIODevice::ReadOnly))
            return Fail("cannot read " + options.serialIn + ": " + in.errorString().toStdString(), 2);
        serialIn = in.readAll();
    }

    QTemporaryDir work;
    if (!work.isValid())
        return Fail("no temporary folder: " + work.errorString().toStdString(), 2);
    const m51dbg::BuildOutput built = m51dbg::BuildM51(source.readAll().toStdString(), sourcePath, work.path());
    for (const QString& error : built.errors)
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    if (!built.ok)
        return 1;

    int untilLine = -1;
    if (options.untilLine) {
        const auto line = built.program.map.sourceLineWithCode(*options.untilLine - 1);
        if (!line)
            return Fail("line " + std::to_string(*options.untilLine) + " has no code and none follows", 2);
        if (*line != *options.untilLine - 1)
            std::fprintf(stderr, "m51sim: line %d has no code; stopping at line %d\n", *options.untilLine, *line + 1);
        untilLine = *line;
    }

    Runner runner(options, built.program, untilLine, serialIn);
    app.exec();
    return runner.exitCode();
}
