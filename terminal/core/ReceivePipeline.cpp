#include "terminal/core/ReceivePipeline.h"

#include <utility>

TReceivePipeline::TReceivePipeline(QObject* parent) : QObject(parent)
{
    m_changeTimer.setSingleShot(true);
    connect(&m_changeTimer, &QTimer::timeout, this, &TReceivePipeline::emitChanged);
    m_log.LineEnded = [this](const QByteArray& line) {
        if (m_logFile.active() && m_logFile.mode() == TLogFile::Text && !m_logFile.writeLine(line))
            emit logFailed(m_logFile.errorString());
    };
}

TReceivePipeline::~TReceivePipeline()
{
    stopLog();
}

void TReceivePipeline::apply(const TTerminalSettings& s)
{
    m_options.Dec = s.Dec;
    m_options.Hex = s.Hex;
    m_options.Bin = s.Bin;
    m_options.Time = s.Time;
    m_options.LfNewLine = s.LfNewLine;
    m_options.StampOnce = s.StampOnce;
    m_options.CountChar = s.CountChar;
    m_log.MemoryLimit = qint64(s.KeepMB) << 20;
}

void TReceivePipeline::receive(const char* data, int size)
{
    // During a file transfer the bytes belong to the protocol program.
    if (TakeOver && TakeOver(data, size))
        return;
    if (m_logFile.active() && m_logFile.mode() == TLogFile::Raw && !m_logFile.writeRaw(data, size))
        emit logFailed(m_logFile.errorString());
    m_log.receive(data, size, m_options);
    if (m_plotting)
        m_plotData.receive(data, size, m_plotClock.nsecsElapsed() / 1e9);
    if (Watch)
        Watch(data, size);
    m_columnsChanged[0] = m_columnsChanged[0] || m_options.Dec;
    m_columnsChanged[1] = m_columnsChanged[1] || m_options.Hex;
    m_columnsChanged[2] = m_columnsChanged[2] || m_options.Bin;
    if (m_changeTimer.isActive())
        return;
    if (!m_sinceChange.isValid() || m_sinceChange.elapsed() >= RefreshPeriodMs)
        emitChanged();
    else
        m_changeTimer.start(int(RefreshPeriodMs - m_sinceChange.elapsed()));
}

void TReceivePipeline::emitChanged()
{
    m_changeTimer.stop();
    m_sinceChange.start();
    emit changed();
}

bool TReceivePipeline::takeColumnChanged(int column)
{
    return column >= 0 && column < 3 && std::exchange(m_columnsChanged[column], false);
}

void TReceivePipeline::setPlotting(bool on)
{
    m_plotting = on;
    if (on && !m_plotClock.isValid())
        m_plotClock.start();
}

bool TReceivePipeline::startLog(const QString& path, TLogFile::Mode mode, QString* error)
{
    return m_logFile.start(path, mode, error);
}

void TReceivePipeline::stopLog()
{
    m_logFile.stop(m_log.Text.hasLines() ? m_log.Text.last() : QByteArray());
}
