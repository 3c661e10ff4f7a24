#pragma once
// TMainForm: the terminal's main window. It owns the serial port driver and
// wires the controls to it: the connection buttons and status, the six radio
// groups of the line settings, the receive boxes (drawn from TReceiveLog), the
// transmit box, macros, file sending and the DTR/RTS buttons, Auto
// Dis/Connect on application activation, and the stored settings, placement
// and macro histories. The logic lives in the plain classes it uses
// (TReceiveLog, DecodeMacro, TStoredSettings, ...); the handlers below keep the
// window's published names so each action can be driven directly.

#include "LogFile.h"
#include "LinkStatus.h"
#include "PlotData.h"
#include "ReceiveFind.h"
#include "ReceiveStore.h"
#include "SerialPortDrv.h"
#include "TerminalSettings.h"
#include "WindowControls.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTimer>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QAction;
class QDockWidget;
class TCompactTextView;
class TFileSender;
struct TFileSendResult;
struct TSendPacing;
struct TTransferRequest;
struct TTransferResult;
class TProtocolTransfer;
class THistoryComboBox;
class TFindBar;
class TStoredPlacement;
class TStoredSettings;

// The about box.
class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFrm(QWidget* parent = nullptr);
    QPushButton* ExitBtn;
};

// Why a port could not be opened, in words for the status bar.
QString OpenFailureText(const TOpenFailure& failure);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Components (the window's published names).
    TSerialPortDriver* SerialPortDriver;
    QPushButton *ConnectBtn, *DisconnectBtn, *Button1, *QuitBtn;
    TRadioGroup *ComPortRG, *BaudRateRG, *DataBitsRG, *ParityRG, *StopBitsRG, *HandshakingRG;
    QGroupBox* GroupBox3;
    QPushButton* DeviceBtn;  // opens the device map of the COM numbers
    QComboBox* cbBaudRate;  // the bit rate of BaudRateRG's "other" item
    QCheckBox *cbAuto, *TCBox;
    QComboBox* cbFontSize;
    // Line endings: LF alone ends a received line; one time stamp per line;
    // what Enter sends ("CR", "LF", "CR LF").
    QCheckBox *cbLfNewLine, *cbStampOnce;
    QComboBox* cbEnterKey;
    // Megabytes the receive boxes may hold; the oldest lines go beyond it.
    QSpinBox* sbKeepMB;
    // Connect again by itself when a lost device returns; else the status
    // bar offers ReconnectBtn.
    QCheckBox* cbReconnect;
    QPushButton* ReconnectBtn;
    // Log to file (raw bytes or the displayed text), and its state in the
    // status bar.
    QPushButton* LogBtn;
    // The live plot of the received lines' numbers, and its data.
    QPushButton* PlotBtn;
    QDockWidget* PlotDock;
    const TPlotData& PlotData() const { return m_plotData; }
    QLabel* LogStatus;
    QWidget *Panel3, *Panel4;
    QSplitter* RxSplitter1;
    TCompactTextView *RxMemo, *Memo1, *Memo2, *Memo3;
    QScrollBar* RxScrollBar;  // moves RxMemo and the value columns together
    QCheckBox *CBoxDec, *CBoxHex, *CBoxBin;
    QSpinBox* ChCount0;
    QLabel *Label5, *LabCount0;
    QPushButton *ClrInMemo, *Button2;
    TTxMemo* TxMemo;
    QPushButton *ClrOutMemo, *SetDTRBtn, *ClrDTRBtn, *SetRTSBtn, *ClrRTSBtn, *SendFileBtn;
    QPushButton* BreakBtn;
    QPushButton* PacingBtn;  // the pacing of Send File
    QPushButton* TransferBtn;  // XMODEM, YMODEM and ZMODEM
    QLabel *LedCTS, *LedDSR, *LedDCD, *LedRI;  // modem status lines, greyed when unknown
    QGroupBox* gbMacros;
    THistoryComboBox *lbMacro1, *lbMacro2, *lbMacro3;
    // Bytes typed in hexadecimal ("0D 0A"), with their own history.
    THistoryComboBox* HexBox;
    QPushButton* HexSendBtn;
    // Find in the received text (Ctrl+F in the receive area, or the receive
    // box's context menu).
    QAction* FindAction;
    TFindBar* FindBar;
    QPushButton *bMacro1, *bMacro2, *bMacro3;
    QMenu* PopupMenu1;
    QAction *SaveMacro11, *SaveMacro21, *SaveMAcro31;
    QStatusBar* StatusBar;
    TAboutFrm* AboutFrm;
    // Send File's progress in the status bar, shown while a file is sent.
    QProgressBar* SendProgress;
    QLabel* SendProgressText;
    QPushButton* SendCancelBtn;

    // The received data behind RxMemo and the three columns, and the counter.
    const TReceiveLog& ReceiveLog() const { return m_log; }
    TReceiveLog& ReceiveLog() { return m_log; }
    qint32 CharCount() const { return m_log.CharCount; }

    QString StatusText() const;
    // The status bar's second field: why a port failed, what a command could
    // not do, how a file send ended.
    QString StatusDetail() const;
    QString ApplicationTitle() const { return m_applicationTitle; }
    void SetApplicationTitle(const QString& title);
    // The filter of the file-open dialog of Send File.
    static QString OpenDialogFilter();

    // Handlers. The receive handler redraws the boxes and the counter at
    // most every TCompactTextView::RefreshPeriod ms.
    void SerialPortDriverReceiveData(TSerialPortDriver* Sender, const char* DataPtr, int DataSize);
    void SerialPortDriverConnectionLost();
    void ClrInMemoClick();
    void Button2Click();
    void LogBtnClick();
    // Starts writing everything received to path; false (with the reason in
    // the status bar) when the file cannot be created.
    bool StartLog(const QString& path, TLogFile::Mode mode);
    void StopLog();
    const TLogFile& Log() const { return m_logFile; }
    void cbEnterKeyChange();
    void TxMemoKeyPress(const QByteArray& key);
    void ClrOutMemoClick();
    void SetDTRBtnClick();
    void ClrDTRBtnClick();
    void SetRTSBtnClick();
    void ClrRTSBtnClick();
    void BreakBtnClick();
    void SendMacro(const QString& text);
    // Sends HexBox's bytes and keeps the line in its history.
    void HexSendBtnClick();
    // Looks for the query from the receive box's selection (or its top line)
    // through everything kept, and selects and shows the hit.
    void FindInReceive(const TFindQuery& query);
    void bMacro1Click();
    void bMacro2Click();
    void bMacro3Click();
    void SaveMacro11Click();
    void SaveMacro21Click();
    void SaveMAcro31Click();
    void SendFileBtnClick();
    void PacingBtnClick();
    void TransferBtnClick();
    // Starts a protocol transfer; progress and the outcome show in the
    // status bar, failures also in the error box.
    void StartTransfer(const TTransferRequest& request);
    TProtocolTransfer* Transfer() const { return m_transfer; }
    // The pacing of the next Send File, stored at once.
    void SetSendPacing(const TSendPacing& pacing);
    // What Send File does with the chosen file: starts sending it and returns;
    // progress and the outcome show in the status bar, failures also in the
    // error box.
    void SendFile(const QString& path);
    bool IsSending() const;
    TFileSender* FileSender() const { return m_sender; }
    void ApplyPortSettings();  // pushes the radio groups' selection to the driver (reopening an open port)
    void ConnectBtnClick();
    void DisconnectBtnClick();
    void ComPortRGClick();
    void BaudRateRGClick();
    void DataBitsRGClick();
    void ParityRGClick();
    void StopBitsRGClick();
    void HandshakingRGClick();
    void AppEventsActivate();
    void AppEventsDeactivate();
    void cbFontSizeChange();
    void FormShow();
    void Button1Click();
    void QuitBtnClick();

    // The device behind each COM number (stored per user).
    QString PortDevice(TComPortNumber port) const;
    void SetPortDevice(TComPortNumber port, const QString& device);
    // The COM Port group's context menu: per COM number the ports the system
    // reports, the default device and "Other device..." for a typed path.
    void BuildPortMenu(QMenu* menu);

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
    void buildControlPanel(QWidget* panel);
    void buildReceiveArea();
    void buildTransmitArea();
    void setupStorage();
    void loadPortDevices();
    void showPortMenu(const QPoint& globalPos);
    void updatePortToolTip();
    void showConnected();
    void setLinkState(TLinkState state);
    void showError(const QString& message);
    void beep();
    void updateSplitterLimits();
    void applyPendingSplitter();
    void applicationStateChanged(Qt::ApplicationState state);
    void refreshDisplay();
    void setSending(bool on);
    void syncColumns();
    void modemLineSet(const char* line, bool ok);
    void showModemLines();
    void watchForReturn();
    void stopWatchingForReturn();
    void showLogState();
    void logFailed();
    void showSendProgress();
    void sendFinished(const TFileSendResult& result);
    void showTransferProgress();
    void transferFinished(const TTransferResult& result);

    TReceiveLog m_log;
    TLinkState m_linkState = TLinkState::Disconnected;
    TPlotData m_plotData;
    QElapsedTimer m_plotClock;
    TLogFile m_logFile;
    TLogFile::Mode m_logMode = TLogFile::Raw;  // the user's last choice
    QString m_logPath;
    QLabel* m_statusText = nullptr;
    QLabel* m_statusDetail = nullptr;
    TFileSender* m_sender = nullptr;
    TProtocolTransfer* m_transfer = nullptr;
    QString m_transferFolder;
    QTimer m_displayTimer;
    QTimer m_modemTimer;
    QTimer m_returnWatch;  // after a lost connection: is the device back?
    QString m_lostDevice;
    bool m_lostGone = false;
    QElapsedTimer m_sinceDisplay;
    bool m_columnsChanged[3] = {false, false, false};
    // The settings as the window shows them, and the window set to show them.
    TTerminalSettings settingsFromWindow() const;
    void applySettings(const TTerminalSettings& settings);
    std::unique_ptr<TStoredPlacement> m_placement;
    QString m_applicationTitle;
    int m_beeps = 0;
    static constexpr int FirstStartHeight = -2;
    static constexpr int OtherBaudRateIndex = 12;  // BaudRateRG's item after 115200
    int m_pendingPanel3Height = -1;
    int m_panel3Minimum = 0;
    int m_panel4Minimum = 0;
    bool m_saved = false;
    bool m_applicationActive = false;
    bool m_disconnectAfterSend = false;  // Auto Dis/Connect waited for a file send
};
