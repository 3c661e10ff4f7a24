#include "debugger/m51sim/S51Run.h"

#include "debugger/DebugEngine.h"
#include "common/FileWrite.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

using m51dbg::DebugEngine;

namespace m51sim {

namespace {

int Fail(const std::string& message, int code)
{
    std::fprintf(stderr, "m51sim: %s\n", message.c_str());
    return code;
}

// Runs the program to its end condition and prints; returns the exit status.
class Runner : public QObject {
public:
    Runner(const Options& options, const m51dbg::Program& program, int untilLine, bool bySource,
           const QByteArray& serialIn)
        : m_options(options), m_untilLine(untilLine), m_bySource(bySource), m_serialIn(serialIn)
    {
        m51dbg::EngineOptions engineOptions = m_engine.options();
        engineOptions.kind = m51dbg::SimulatorKind::S51;
        if (!options.simulator.empty() && options.simulator != "core")
            engineOptions.simulator = QString::fromStdString(options.simulator);
        engineOptions.cpuType = QString::fromStdString(options.cpu);
        engineOptions.crystalHz = options.xtal;
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
    std::optional<int> line() const
    {
        return m_bySource ? m_engine.currentSourceLine() : m_engine.currentAsmLine();
    }

    void onStopped(DebugEngine::StopCause cause)
    {
        if (cause == DebugEngine::StopCause::Started) {
            // s51 takes the bytes from the line as its UART receives them.
            m_engine.sendSerial(m_serialIn);
            if (m_untilLine >= 0) {
                if (line() == m_untilLine) {
                    print(0);
                    return;
                }
                if (m_bySource)
                    m_engine.setSourceBreakpoints({m_untilLine});
                else
                    m_engine.setAsmBreakpoints({m_untilLine});
            }
            m_engine.run(m_options.steps);
            return;
        }
        if (m_untilLine >= 0 && line() != m_untilLine) {
            std::fprintf(stderr, "m51sim: line %d not reached within %llu instructions\n", m_untilLine + 1,
                         static_cast<unsigned long long>(m_options.steps));
            print(3);
            return;
        }
        print(0);
    }

    // Prints every item in order; XRAM and code bytes are read first, one
    // after the other (s51 loses answers when many dumps are asked at once).
    void print(int code)
    {
        const auto& items = m_options.prints.empty() ? m_defaults : m_options.prints;
        auto lines = std::make_shared<std::vector<std::string>>(items.size());
        // The pending read keeps the chain alive, the chain itself does not.
        auto next = std::make_shared<std::function<void(size_t)>>();
        *next = [this, lines, self = std::weak_ptr(next), code, &items](size_t i) {
            for (; i < items.size(); ++i) {
                const PrintItem& item = items[i];
                if (const auto text = FormatItem(item, m_engine.machine())) {
                    (*lines)[i] = *text;
                    continue;
                }
                const auto memory = item.kind == PrintItem::Kind::Xram ? DebugEngine::Memory::Xram : DebugEngine::Memory::Code;
                m_engine.read(memory, item.address, 1, [lines, chain = self.lock(), i, item](auto bytes) {
                    (*lines)[i] = bytes ? FormatByte(item, (*bytes)[0]) : item.text + "=?";
                    (*chain)(i + 1);
                });
                return;
            }
            for (const std::string& line : *lines)
                std::printf("%s\n", line.c_str());
            finish(code);
        };
        (*next)(0);
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
                const std::string error = m51::writeFileAtomically(
                    m_options.serialOut, std::string_view(m_sent.constData(), static_cast<size_t>(m_sent.size())));
                if (!error.empty()) {
                    std::fprintf(stderr, "m51sim: cannot write %s: %s\n", m_options.serialOut.c_str(), error.c_str());
                    m_exitCode = 2;
                }
            }
            QCoreApplication::exit(m_exitCode);
        });
    }

    Options m_options;
    std::vector<PrintItem> m_defaults = DefaultPrints();
    int m_untilLine;
    bool m_bySource;
    QByteArray m_serialIn, m_sent;
    DebugEngine m_engine;
    int m_exitCode = 2;
    bool m_finished = false;
};

} // namespace

int RunOnS51(int argc, char** argv, const Options& options, const toolchain::Program& code, int untilLine,
             bool bySource, const std::string& serialIn)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    if (!work.isValid())
        return Fail("no temporary folder: " + work.errorString().toStdString(), 2);
    m51dbg::Program program(code, work.filePath(QStringLiteral("program.hex")));
    QFile hex(program.hexPath);
    if (!hex.open(QIODevice::WriteOnly) || hex.write(code.hex.data(), qint64(code.hex.size())) != qint64(code.hex.size()))
        return Fail("cannot write " + program.hexPath.toStdString(), 2);
    hex.close();
    Runner runner(options, program, untilLine, bySource, QByteArray::fromStdString(serialIn));
    app.exec();
    return runner.exitCode();
}

} // namespace m51sim
