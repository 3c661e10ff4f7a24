#include "terminal/ui/TransmitPanel.h"

#include "terminal/ui/ControlPictures.h"
#include "terminal/HistoryComboBox.h"
#include "terminal/MacroCodec.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/ui/UiText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

TTransmitPanel::TTransmitPanel(TTerminalSettings& settings, TTransmitter* transmitter, QWidget* parent)
    : QGroupBox(QStringLiteral("Transmit"), parent), m_settings(settings), m_transmitter(transmitter)
{
    setObjectName(QStringLiteral("GroupBox2"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 4);
    row->setSpacing(4);

    TxMemo = new TTxMemo(this);
    TxMemo->setObjectName(QStringLiteral("TxMemo"));
    TxMemo->setFont(systemFixedFont());
    TxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    TxMemo->OnKeyPress = [this](const QByteArray& key) { m_transmitter->key(key); };
    auto* typed = new QVBoxLayout;
    typed->setSpacing(2);
    typed->addWidget(TxMemo, 1);
    auto* hexRow = new QHBoxLayout;
    hexRow->setSpacing(4);
    auto* hexLabel = new QLabel(QStringLiteral("Hex"), this);
    HexBox = new THistoryComboBox(this);
    HexBox->setObjectName(QStringLiteral("HexBox"));
    HexBox->setToolTip(QStringLiteral("Bytes in hexadecimal, such as 0D 0A or 0D0A;\nEnter sends them"));
    HexBox->SetKey(QStringLiteral("TERMINAL\\HexSend"));
    HexBox->SetMaxHistoryLength(10);
    HexBox->setMinimumContentsLength(4);  // the window keeps its narrowest width
    hexLabel->setBuddy(HexBox);
    HexSendBtn = new QPushButton(QStringLiteral("Send"), this);
    HexSendBtn->setObjectName(QStringLiteral("HexSendBtn"));
    HexSendBtn->setToolTip(QStringLiteral("Send the hexadecimal bytes"));
    HexSendBtn->setFixedWidth(44);
    connect(HexSendBtn, &QPushButton::clicked, this, &TTransmitPanel::sendHex);
    connect(HexBox, &THistoryComboBox::entered, this, &TTransmitPanel::sendHex);
    hexRow->addWidget(hexLabel);
    hexRow->addWidget(HexBox, 1);
    hexRow->addWidget(HexSendBtn);
    typed->addLayout(hexRow);
    row->addLayout(typed, 1);

    auto* buttons = new QGridLayout;
    buildButtons(buttons);
    row->addLayout(buttons);
    buildMacros();
    row->addWidget(gbMacros, 1);

    m_modemTimer.setInterval(200);
    connect(&m_modemTimer, &QTimer::timeout, this, &TTransmitPanel::showModemLines);
    showModemLines();
    connect(m_transmitter, &TTransmitter::breakChanged, BreakBtn, [this](bool held) { BreakBtn->setEnabled(!held); });
    connect(m_transmitter, &TTransmitter::problem, this, &TTransmitPanel::problem);

    // FormCreate: the histories (this also empties the macro texts).
    for (THistoryComboBox* box : {lbMacro1, lbMacro2, lbMacro3, HexBox})
        box->LoadHistory();
}

void TTransmitPanel::buildButtons(QGridLayout* buttons)
{
    buttons->setSpacing(2);
    auto makeButton = [&](QPushButton*& button, const char* name, const char* caption, const char* tip, int r,
                          int c, auto handler, int span = 1) {
        button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        if (tip)
            button->setToolTip(hint(tip));
        buttons->addWidget(button, r, c, 1, span);
        connect(button, &QPushButton::clicked, this, handler);
    };
    using M = TTransmitter;
    makeButton(ClrOutMemo, "ClrOutMemo", "CLEAR", "Clear Transmit box", 0, 0, [this] { TxMemo->clear(); }, 2);
    makeButton(SetDTRBtn, "SetDTRBtn", "SET DTR", nullptr, 1, 0, [this] { m_transmitter->setModemLine(M::DTR, true); });
    makeButton(ClrDTRBtn, "ClrDTRBtn", "CLR DTR", nullptr, 1, 1, [this] { m_transmitter->setModemLine(M::DTR, false); });
    makeButton(SetRTSBtn, "SetRTSBtn", "SET RTS", nullptr, 2, 0, [this] { m_transmitter->setModemLine(M::RTS, true); });
    makeButton(ClrRTSBtn, "ClrRTSBtn", "CLR RTS", nullptr, 2, 1, [this] { m_transmitter->setModemLine(M::RTS, false); });
    makeButton(SendFileBtn, "SendFileBtn", "Send File",
               "Send file through serial line.\r\nUseful for downloading data\r\nto target controler.", 3, 0,
               [this] { chooseFile(); });
    makeButton(PacingBtn, "PacingBtn", "Pacing...", "Pauses after each character or line of Send File,\r\n"
               "and a prompt to wait for, for monitors and boot loaders", 3, 1, [this] { choosePacing(); });
    makeButton(BreakBtn, "BreakBtn", "BREAK", "Hold the line in the break state for 250 ms", 4, 0,
               [this] { m_transmitter->sendBreak(); });
    makeButton(TransferBtn, "TransferBtn", "Transfer", "Send or receive files with XMODEM, YMODEM or ZMODEM", 4, 1,
               [this] { transferMenu(); });
    // The modem status lines while connected.
    auto* leds = new QHBoxLayout;
    leds->setSpacing(2);
    QLabel** ledSlots[4] = {&LedCTS, &LedDSR, &LedDCD, &LedRI};
    const char* const ledNames[4] = {"CTS", "DSR", "DCD", "RI"};
    for (int i = 0; i < 4; ++i) {
        auto* led = new QLabel(QString::fromLatin1(ledNames[i]), this);
        led->setObjectName(QStringLiteral("Led") + QString::fromLatin1(ledNames[i]));
        led->setAlignment(Qt::AlignCenter);
        led->setMinimumWidth(34);
        leds->addWidget(led);
        *ledSlots[i] = led;
    }
    buttons->addLayout(leds, 5, 0, 1, 2);
    buttons->setRowStretch(6, 1);
}

void TTransmitPanel::buildMacros()
{
    gbMacros = new QGroupBox(QStringLiteral("Transmit Macros"), this);
    gbMacros->setObjectName(QStringLiteral("gbMacros"));
    gbMacros->setToolTip(hint("Macros"));
    auto* macros = new QGridLayout(gbMacros);
    macros->setContentsMargins(4, 2, 4, 4);
    macros->setSpacing(2);
    const char* const macroHint =
        "You can add any ASCII character\r\njust by using #xxx format. Where xxx\r\nis an ASCII code. For example "
        "#013 \r\nfor <CR>. \r\nRight click to save macro.";
    THistoryComboBox** boxes[3] = {&lbMacro1, &lbMacro2, &lbMacro3};
    QPushButton** sendButtons[3] = {&bMacro1, &bMacro2, &bMacro3};
    for (int i = 0; i < 3; ++i) {
        auto* box = new THistoryComboBox(gbMacros);
        box->setObjectName(QStringLiteral("lbMacro%1").arg(i + 1));
        box->setToolTip(hint(macroHint));
        box->SetKey(QStringLiteral("TERMINAL\\Macro%1").arg(i + 1));
        box->SetMaxHistoryLength(10);
        box->setMinimumContentsLength(16);
        // One character more than a macro may have: a longer text pasted or
        // restored is cut there, seen to be too long and refused, never sent cut.
        box->lineEdit()->setMaxLength(MaxMacroLength + 1);
        connect(box->lineEdit(), &QLineEdit::textChanged, this, [this, i](const QString& t) {
            m_settings.Macro[i] = t;
            if (t.size() > MaxMacroLength)
                emit detail(MacroTooLongText(i + 1, MaxMacroLength));
        });
        auto* button = new QPushButton(QStringLiteral("M%1").arg(i + 1), gbMacros);
        button->setObjectName(QStringLiteral("bMacro%1").arg(i + 1));
        button->setToolTip(QStringLiteral("Send macro %1").arg(i + 1));
        button->setFixedWidth(36);
        connect(button, &QPushButton::clicked, this, [this, box] { sendMacro(box->currentText()); });
        macros->addWidget(box, i, 0);
        macros->addWidget(button, i, 1);
        *boxes[i] = box;
        *sendButtons[i] = button;
    }
    auto* escapes = new QLabel(QStringLiteral("A byte: #013 (decimal), #$0D or #x0D (hexadecimal)"), gbMacros);
    escapes->setObjectName(QStringLiteral("MacroEscapes"));
    escapes->setEnabled(false);
    macros->addWidget(escapes, 3, 0, 1, 2);
    macros->setRowStretch(4, 1);
    macros->setColumnStretch(0, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SaveMacro11 = PopupMenu1->addAction(QStringLiteral("Save Macro 1"), lbMacro1, &THistoryComboBox::SaveHistory);
    SaveMacro21 = PopupMenu1->addAction(QStringLiteral("Save Macro 2"), lbMacro2, &THistoryComboBox::SaveHistory);
    SaveMAcro31 = PopupMenu1->addAction(QStringLiteral("Save Macro 3"), lbMacro3, &THistoryComboBox::SaveHistory);
    SaveMacro11->setObjectName(QStringLiteral("SaveMacro11"));
    SaveMacro21->setObjectName(QStringLiteral("SaveMacro21"));
    SaveMAcro31->setObjectName(QStringLiteral("SaveMAcro31"));
    // The group's menu, also on the macro boxes (whose edit fields would show their own).
    auto popup = [this](QWidget* w) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& pos) { PopupMenu1->popup(w->mapToGlobal(pos)); });
    };
    popup(gbMacros);
    for (THistoryComboBox* box : {lbMacro1, lbMacro2, lbMacro3}) {
        popup(box);
        popup(box->lineEdit());
    }
}

void TTransmitPanel::showSettings()
{
    TxMemo->EnterBytes = EnterKeyBytes(m_settings.EnterKey);
    THistoryComboBox* macros[3] = {lbMacro1, lbMacro2, lbMacro3};
    for (int i = 0; i < 3; ++i)
        if (macros[i]->currentText() != m_settings.Macro[i])
            macros[i]->setEditText(m_settings.Macro[i]);
}

void TTransmitPanel::setSending(bool on)
{
    // Typed keys and macros would mix into the file's bytes: they wait.
    for (QWidget* w : {SendFileBtn, PacingBtn, TransferBtn, bMacro1, bMacro2, bMacro3})
        w->setEnabled(!on);
    TxMemo->setReadOnly(on);
}

void TTransmitPanel::showModemLines()
{
    TSerialPortDriver::TModemLines lines;
    const bool connected = m_transmitter->connected();
    const bool known = m_transmitter->readModemLines(lines);
    if (connected && !m_modemTimer.isActive())
        m_modemTimer.start();
    else if (!connected)
        m_modemTimer.stop();
    const bool on[4] = {lines.CTS, lines.DSR, lines.DCD, lines.RI};
    QLabel* leds[4] = {LedCTS, LedDSR, LedDCD, LedRI};
    for (int i = 0; i < 4; ++i) {
        leds[i]->setEnabled(known);
        leds[i]->setStyleSheet(known && on[i] ? QStringLiteral("QLabel { background: #3c3; color: black; border: 1px solid #282; border-radius: 3px; }")
                                              : QStringLiteral("QLabel { border: 1px solid palette(mid); border-radius: 3px; }"));
        leds[i]->setToolTip(!connected ? QStringLiteral("Shown while connected")
                            : known    ? QStringLiteral("%1 is %2").arg(leds[i]->text(), on[i] ? "on" : "off")
                                       : QStringLiteral("This device does not report its modem lines"));
    }
}

void TTransmitPanel::echo(const QByteArray& bytes)
{
    TxMemo->appendPlainText(DisplayText(bytes, HasControlPictures(TxMemo->font())));
}

void TTransmitPanel::sendMacro(const QString& text)
{
    const TSendOutcome outcome = m_transmitter->sendMacro(text);
    if (outcome.Result == TSendOutcome::Refused)
        emit error(outcome.Error);
    else if (outcome.Result == TSendOutcome::Sent)
        echo(outcome.Echo);
}

void TTransmitPanel::sendHex()
{
    const TSendOutcome outcome = m_transmitter->sendHex(HexBox->currentText());
    if (outcome.Result == TSendOutcome::Refused)
        emit error(outcome.Error);
    if (outcome.Result != TSendOutcome::Sent)
        return;
    echo(outcome.Echo);
    const QString text = HexBox->currentText();
    HexBox->SaveHistory();
    HexBox->SetText(text);
}
