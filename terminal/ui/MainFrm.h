#pragma once
// TMainForm: the terminal's main window, wiring only. It owns the settings
// value and the core - the connection, the receive pipeline and the
// transmitter - and puts their panels together: the connection row on top,
// the settings and receive boxes above the splitter, the transmit box below
// it, the status bar (the link state, the detail of what happened, the log,
// and the progress of a send) and the plot beside. Panels edit the settings
// value; the window hands it to the core, loads it on showing and stores it
// on closing together with the placement.

#include "terminal/ui/AboutBox.h"
#include "terminal/core/Connection.h"
#include "terminal/LogFile.h"
#include "terminal/core/ReceivePipeline.h"
#include "terminal/core/TerminalSettings.h"
#include "terminal/core/Transmitter.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QDockWidget;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class TConnectionPanel;
class TReceivePanel;
class TSettingsBox;
class TStoredPlacement;
class TTransmitPanel;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    TConnection* connection() const { return m_connection; }
    TReceivePipeline* pipeline() const { return m_pipeline; }
    TTransmitter* transmitter() const { return m_transmitter; }
    TConnectionPanel* connectionPanel() const { return m_connectionPanel; }
    TSettingsBox* settingsBox() const { return m_settingsBox; }
    TReceivePanel* receivePanel() const { return m_receivePanel; }
    TTransmitPanel* transmitPanel() const { return m_transmitPanel; }
    const TTerminalSettings& settings() const { return m_settings; }

    // The layout the stored heights refer to, the status bar and the plot.
    QSplitter* RxSplitter1;
    QWidget *Panel3, *Panel4;
    QPushButton* ReconnectBtn;  // offered when a lost device is back
    QLabel* LogStatus;
    QProgressBar* SendProgress;
    QLabel* SendProgressText;
    QPushButton* SendCancelBtn;
    QDockWidget* PlotDock;
    TAboutFrm* AboutFrm;

    QString StatusText() const;
    // The status bar's second field: why a port failed, what a command could
    // not do, how a file send ended.
    QString StatusDetail() const;
    QString ApplicationTitle() const { return m_applicationTitle; }
    void SetApplicationTitle(const QString& title);

    // Log to file: asks for the file (or stops a running log).
    void LogBtnClick();
    // Starts writing everything received to path; false (with the reason in
    // the status bar) when the file cannot be created.
    bool StartLog(const QString& path, TLogFile::Mode mode);
    void StopLog();
    // The font size of the settings value on the text boxes.
    void applyFontSize();
    void AppEventsActivate();
    void AppEventsDeactivate();

    // Error texts go to the application's error box, or here when set (tests).
    std::function<void(const QString&)> OnError;
    int BeepCount() const { return m_beeps; }

    // Stored settings and placement, as on showing and closing.
    void RestoreStored();
    void SaveStored(bool destroying);

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildStatusBar();
    void buildPlot();
    void wireCore();
    void settingsEdited();
    void showSettings();
    void showState(TLinkState state);
    void setDetail(const QString& text, bool alert);
    void showError(const QString& message);
    void beep();
    void showLogState();
    void logFailed(const QString& reason);
    void setSending(bool on);
    void sendFinished(const TFileSendResult& result);
    void transferFinished(const TTransferResult& result);
    void applicationStateChanged(Qt::ApplicationState state);
    void updateSplitterLimits();
    void applyPendingSplitter();

    TTerminalSettings m_settings;
    TConnection* m_connection;
    TReceivePipeline* m_pipeline;
    TTransmitter* m_transmitter;
    TConnectionPanel* m_connectionPanel;
    TSettingsBox* m_settingsBox;
    TReceivePanel* m_receivePanel;
    TTransmitPanel* m_transmitPanel;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusText = nullptr;
    QLabel* m_statusDetail = nullptr;
    TLinkState m_shownState = TLinkState::Disconnected;
    std::unique_ptr<TStoredPlacement> m_placement;
    QString m_applicationTitle;
    int m_beeps = 0;
    static constexpr int FirstStartHeight = -2;
    int m_pendingPanel3Height = -1;
    int m_panel3Minimum = 0;
    int m_panel4Minimum = 0;
    bool m_saved = false;
    bool m_applicationActive = false;
};
