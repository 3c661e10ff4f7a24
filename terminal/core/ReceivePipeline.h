#pragma once
// TReceivePipeline: the path of every received block without widgets. A
// block goes to the protocol program while a transfer runs; otherwise to the
// raw log, into the store under the current options (text, value columns,
// counter, time stamps), to the text log as lines end, to the plot data while
// plotting, and to a send that waits for a prompt. However fast blocks come,
// changed() is raised at most every RefreshPeriodMs (at once after a quiet
// spell), so the views redraw at a bounded rate.

#include "terminal/LogFile.h"
#include "terminal/core/PlotData.h"
#include "terminal/ReceiveStore.h"
#include "terminal/core/TerminalSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class TReceivePipeline : public QObject {
    Q_OBJECT
public:
    static constexpr int RefreshPeriodMs = 30;

    explicit TReceivePipeline(QObject* parent = nullptr);
    ~TReceivePipeline() override;

    // Takes the receive options (Dec, Hex, Bin, Time, line endings, the
    // counted character) and the memory the store may keep.
    void apply(const TTerminalSettings& settings);
    const TReceiveOptions& options() const { return m_options; }

    void receive(const char* data, int size);
    // Takes a block whole (a running protocol transfer): true when taken.
    std::function<bool(const char* data, int size)> TakeOver;
    // Sees every stored block too (a send waiting for a prompt).
    std::function<void(const char* data, int size)> Watch;

    TReceiveLog& log() { return m_log; }
    const TReceiveLog& log() const { return m_log; }
    void clear() { m_log.clear(); }
    void resetCounter() { m_log.CharCount = 0; }

    // The plot takes data only while plotting; its clock starts the first time.
    void setPlotting(bool on);
    bool plotting() const { return m_plotting; }
    TPlotData& plotData() { return m_plotData; }
    const TPlotData& plotData() const { return m_plotData; }

    // Log to file; false with the reason when the file cannot be created.
    bool startLog(const QString& path, TLogFile::Mode mode, QString* error);
    void stopLog();
    const TLogFile& logFile() const { return m_logFile; }

    // Whether a value column got data since the last call (and forget it).
    bool takeColumnChanged(int column);

signals:
    void changed();
    // Writing the log failed: it has stopped, and says why.
    void logFailed(const QString& reason);

private:
    void emitChanged();

    TReceiveLog m_log;
    TReceiveOptions m_options;
    TLogFile m_logFile;
    TPlotData m_plotData;
    QElapsedTimer m_plotClock;
    bool m_plotting = false;
    QTimer m_changeTimer;
    QElapsedTimer m_sinceChange;
    bool m_columnsChanged[3] = {false, false, false};
};
