#include "terminal/ui/ConnectionPanel.h"

#include "terminal/core/DeviceMap.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/ui/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
constexpr int OtherIndex = TTerminalSettings::OtherBitRateIndex;
}

TConnectionPanel::TConnectionPanel(TTerminalSettings& settings, TConnection* connection, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_connection(connection)
{
    setObjectName(QStringLiteral("Panel1"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    auto makeButton = [&](QPushButton*& button, const char* name, const char* caption, const char* tip) {
        button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(hint(tip));
        buttons->addWidget(button);
    };
    makeButton(ConnectBtn, "ConnectBtn", "&Connect", "Connect to port");
    makeButton(DisconnectBtn, "DisconnectBtn", "&Disconnect", "Disconnect");
    makeButton(Button1, "Button1", "&About..", "About program");
    makeButton(QuitBtn, "QuitBtn", "&Quit", "Quit Terminal");
    makeButton(PlotBtn, "PlotBtn", "&Plot", "Plot the numbers of the received lines over time");
    PlotBtn->setCheckable(true);
    DisconnectBtn->setEnabled(false);
    buttons->addStretch(1);
    row->addLayout(buttons);

    auto makeGroup = [&](TRadioGroup*& group, const char* name, const char* caption, const char* tip,
                         const QStringList& items, int columns, int index) {
        group = new TRadioGroup(QString::fromLatin1(caption), items, columns, this);
        group->setObjectName(QString::fromLatin1(name));
        group->setToolTip(hint(tip));
        group->SetItemIndex(index);
        row->addWidget(group);
    };
    makeGroup(ComPortRG, "ComPortRG", " COM Port ", "Port number", {"COM1", "COM2", "COM3", "COM4"}, 1, 0);
    makeGroup(BaudRateRG, "BaudRateRG", " Baud rate ", "Baud rate",
              {"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"}, 3,
              3);
    // Faster rates, or one the user types, where the device takes them.
    cbBaudRate = new QComboBox(BaudRateRG);
    cbBaudRate->setObjectName(QStringLiteral("cbBaudRate"));
    cbBaudRate->setEditable(true);
    cbBaudRate->setInsertPolicy(QComboBox::NoInsert);
    cbBaudRate->addItems({QStringLiteral("230400"), QStringLiteral("460800"), QStringLiteral("921600")});
    cbBaudRate->lineEdit()->setValidator(new QIntValidator(1, 99999999, cbBaudRate));
    cbBaudRate->setToolTip(QStringLiteral("Another bit rate: choose one or type it"));
    BaudRateRG->addOtherItem(QStringLiteral("other"), cbBaudRate);
    makeGroup(DataBitsRG, "DataBitsRG", " Data bits", "Number of Data bits", {"5", "6", "7", "8"}, 1, 3);
    makeGroup(ParityRG, "ParityRG", " Parity ", "Parity", {"none", "odd", "even", "mark", "space"}, 1, 0);
    makeGroup(StopBitsRG, "StopBitsRG", "Stop Bits", "Number of Stop bits", {"1", "1.5", "2"}, 1, 0);
    makeGroup(HandshakingRG, "HandshakingRG", " Handshaking ", "Handshaking",
              {"none", "RTS/CTS", "XON/XOFF", "RTS/CTS + XON/XOFF"}, 1, 0);
    row->addStretch(1);
    for (TRadioGroup* group : {ComPortRG, DataBitsRG, ParityRG, StopBitsRG, HandshakingRG})
        connect(group, &TRadioGroup::Click, this, &TConnectionPanel::readGroups);
    connect(ComPortRG, &TRadioGroup::Click, this, &TConnectionPanel::updatePortToolTip);
    connect(BaudRateRG, &TRadioGroup::Click, this, &TConnectionPanel::readBitRate);
    connect(cbBaudRate, &QComboBox::activated, this, [this] {
        if (BaudRateRG->ItemIndex() == OtherIndex)
            readBitRate();
        else
            BaudRateRG->SetItemIndex(OtherIndex);
    });
    connect(cbBaudRate->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (BaudRateRG->ItemIndex() == OtherIndex)
            readBitRate();
    });

    // The device behind each COM number: the group's button and its context menu.
    DeviceBtn = new QPushButton(QStringLiteral("Device..."), ComPortRG);
    DeviceBtn->setObjectName(QStringLiteral("DeviceBtn"));
    DeviceBtn->setToolTip(QStringLiteral("Choose the device behind each COM number"));
    static_cast<QGridLayout*>(ComPortRG->layout())->addWidget(DeviceBtn, 4, 0);
    connect(DeviceBtn, &QPushButton::clicked, this,
            [this] { showPortMenu(DeviceBtn->mapToGlobal(QPoint(0, DeviceBtn->height()))); });
    ComPortRG->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ComPortRG, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showPortMenu(ComPortRG->mapToGlobal(pos)); });
    for (QRadioButton* button : ComPortRG->findChildren<QRadioButton*>()) {
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(button, &QWidget::customContextMenuRequested, this,
                [this, button](const QPoint& pos) { showPortMenu(button->mapToGlobal(pos)); });
    }
    connect(m_connection, &TConnection::devicesChanged, this, &TConnectionPanel::updatePortToolTip);
    updatePortToolTip();
}

void TConnectionPanel::readGroups()
{
    if (m_showing)
        return;
    takeGroups();
    emit edited();
}

void TConnectionPanel::takeGroups()
{
    m_settings.ComPort = ComPortRG->ItemIndex();
    m_settings.DataBits = DataBitsRG->ItemIndex();
    m_settings.Parity = ParityRG->ItemIndex();
    m_settings.StopBits = StopBitsRG->ItemIndex();
    m_settings.Handshaking = HandshakingRG->ItemIndex();
}

bool TConnectionPanel::takeBitRate()
{
    const int index = BaudRateRG->ItemIndex();
    m_settings.OtherChosen = index == OtherIndex;
    m_settings.OtherBitRate = cbBaudRate->currentText().trimmed().toInt();
    if (index >= 0 && index < OtherIndex)
        m_settings.BitRate = TTerminalSettings::ListedBitRates[index];
    else if (m_settings.OtherBitRate > 0)
        m_settings.BitRate = m_settings.OtherBitRate;
    else
        return false;  // the rate in use stays; the stored "other" text is what was typed
    return true;
}

void TConnectionPanel::readBitRate()
{
    if (m_showing)
        return;
    if (!takeBitRate()) {
        emit problem(NotABitRateText(cbBaudRate->currentText()));
        return;
    }
    emit edited();
}

void TConnectionPanel::showSettings()
{
    const TTerminalSettings& s = m_settings;
    m_showing = true;
    ComPortRG->SetItemIndex(s.ComPort);
    const bool other = s.OtherChosen && s.BitRate == s.OtherBitRate;
    int listed = 0;
    while (listed < OtherIndex && TTerminalSettings::ListedBitRates[listed] != s.BitRate)
        ++listed;
    if (other || listed == OtherIndex) {
        if (s.BitRate > 0)
            cbBaudRate->setEditText(QString::number(s.BitRate));
        BaudRateRG->SetItemIndex(OtherIndex);
    } else {
        if (s.OtherBitRate > 0)
            cbBaudRate->setEditText(QString::number(s.OtherBitRate));
        BaudRateRG->SetItemIndex(listed);
    }
    DataBitsRG->SetItemIndex(s.DataBits);
    ParityRG->SetItemIndex(s.Parity);
    StopBitsRG->SetItemIndex(s.StopBits);
    HandshakingRG->SetItemIndex(s.Handshaking);
    m_showing = false;
    // What the groups made of it: a stored index off the list leaves the
    // selection as it was.
    takeGroups();
    takeBitRate();
    updatePortToolTip();
}

void TConnectionPanel::showState(TLinkState state)
{
    const bool connected = state == TLinkState::Connected;
    ConnectBtn->setEnabled(!connected);
    DisconnectBtn->setEnabled(connected);
}

void TConnectionPanel::setSending(bool on)
{
    for (QWidget* w : {ComPortRG, BaudRateRG, DataBitsRG, ParityRG, StopBitsRG, HandshakingRG})
        w->setEnabled(!on);
}

void TConnectionPanel::updatePortToolTip()
{
    const int port = qBound(0, ComPortRG->ItemIndex(), 3);
    ComPortRG->setToolTip(PortToolTip(port, m_connection->driver()->Device(TComPortNumber(port))));
}

void TConnectionPanel::mapServedPorts(const std::vector<m51::ServedPort>& served)
{
    TSerialPortDriver* driver = m_connection->driver();
    MapServedPorts(*driver, served, driver->Connected() ? std::optional(driver->ComPort()) : std::nullopt);
    updatePortToolTip();
}

void TConnectionPanel::buildPortMenu(QMenu* menu)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const std::vector<m51::ServedPort> served = m51::ListServedPorts();
    mapServedPorts(served);
    for (int i = 0; i < 4; ++i) {
        const auto port = TComPortNumber(i);
        const QString current = m_connection->driver()->Device(port);
        QMenu* sub = menu->addMenu(QStringLiteral("%1 = %2").arg(PortName(i), current));
        auto addChoice = [&](const TPortChoice& choice) {
            const QString device = choice.Device;
            QAction* action = sub->addAction(choice.Label, this,
                                             [this, port, device] { m_connection->setPortDevice(port, device); });
            action->setCheckable(true);
            action->setChecked(choice.Current);
        };
        const TPortMenu choices = PortChoices(port, current, ports, served);
        for (const TPortChoice& choice : choices.Listed)
            addChoice(choice);
        if (choices.Separator)
            sub->addSeparator();
        if (choices.Default)
            addChoice(*choices.Default);
        sub->addAction(QStringLiteral("Other device..."), this, [this, port, i] {
            bool ok = false;
            const QString device = QInputDialog::getText(this, QStringLiteral("COM Port"),
                                                         QStringLiteral("Device of %1:").arg(PortName(i)),
                                                         QLineEdit::Normal, m_connection->driver()->Device(port), &ok);
            if (ok && !device.trimmed().isEmpty())
                m_connection->setPortDevice(port, device);
        });
    }
}

void TConnectionPanel::showPortMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    buildPortMenu(&menu);
    menu.exec(globalPos);
}
