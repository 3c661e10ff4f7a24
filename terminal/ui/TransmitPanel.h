#pragma once
// TTransmitPanel: the "Transmit" group - the typing box and the hexadecimal
// line, CLEAR, the DTR and RTS buttons, Send File with its pacing, BREAK,
// the protocol transfers, the modem status lines and the three macro rows
// with their histories. Commands go to the transmitter; what Enter sends and
// the macro texts are fields of the settings value.

#include "terminal/core/TerminalSettings.h"
#include "terminal/core/Transmitter.h"
#include "terminal/ui/WindowControls.h"

#include <QGroupBox>
#include <QTimer>

class QLabel;
class QMenu;
class QPushButton;
class THistoryComboBox;

class TTransmitPanel : public QGroupBox {
    Q_OBJECT
public:
    TTransmitPanel(TTerminalSettings& settings, TTransmitter* transmitter, QWidget* parent = nullptr);

    TTxMemo* TxMemo;
    // Bytes typed in hexadecimal ("0D 0A"), with their own history.
    THistoryComboBox* HexBox;
    QPushButton* HexSendBtn;
    QPushButton *ClrOutMemo, *SetDTRBtn, *ClrDTRBtn, *SetRTSBtn, *ClrRTSBtn, *SendFileBtn, *BreakBtn;
    QPushButton* PacingBtn;    // the pacing of Send File
    QPushButton* TransferBtn;  // XMODEM, YMODEM and ZMODEM
    QLabel *LedCTS, *LedDSR, *LedDCD, *LedRI;  // modem status lines, greyed when unknown
    QGroupBox* gbMacros;
    THistoryComboBox *lbMacro1, *lbMacro2, *lbMacro3;
    QPushButton *bMacro1, *bMacro2, *bMacro3;
    QMenu* PopupMenu1;
    QAction *SaveMacro11, *SaveMacro21, *SaveMAcro31;

    void showSettings();
    void setSending(bool on);
    // Polls the modem lines while connected.
    void showModemLines();

    void sendMacro(const QString& text);
    void sendHex();
    // What Send File does with the chosen file: starts sending it and returns.
    void sendFile(const QString& path);
    void startTransfer(const TTransferRequest& request);
    // The pacing of the next Send File, stored at once.
    void setSendPacing(const TSendPacing& pacing);
    void showPacing();
    // The filter of the file-open dialog of Send File.
    static QString OpenDialogFilter();

signals:
    void edited();
    void error(const QString& message);    // the error box
    void problem(const QString& detail);   // the status bar, with a beep
    void detail(const QString& detail);    // the status bar

private:
    void buildButtons(class QGridLayout* buttons);
    void buildMacros();
    void chooseFile();
    void choosePacing();
    void transferMenu();
    void echo(const QByteArray& bytes);

    TTerminalSettings& m_settings;
    TTransmitter* m_transmitter;
    QTimer m_modemTimer;
    QString m_transferFolder;
    bool m_keepPartial = false;  // a cut-off receive keeps its part as NAME.part
};
