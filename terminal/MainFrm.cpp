#include "MainFrm.h"

#include "CompactTextView.h"
#include "FileSender.h"
#include "FindBar.h"
#include "HexBytes.h"
#include "HistoryComboBox.h"
#include "PlotPane.h"
#include "ProtocolTransfer.h"
#include "SendPacingDialog.h"
#include "MacroCodec.h"
#include "Storage.h"
#include "TerminalSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitterHandle>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <utility>

// The icon lives in the library's resources, which a static library must
// register by hand.
static void initTerminalResources()
{
    Q_INIT_RESOURCE(terminal);
}

namespace {
const char* const MainCaption = "Terminal v1.6";

// The handle between the receive and transmit areas: a raised bar with a grip
// in its middle, so that it is plain to see that it can be dragged.
class TGripHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.topLeft(), r.topRight());
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(underMouse() ? QPalette::Highlight : QPalette::Dark));
        const QPoint c = r.center();
        for (int i = -3; i <= 3; ++i)
            p.drawEllipse(QPointF(c.x() + i * 7 + 0.5, c.y() + 0.5), 1.6, 1.6);
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
};

// The receive area above takes what the window gains or loses; the transmit
// area below keeps its height (as long as it fits).
class TGripSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle* createHandle() override { return new TGripHandle(orientation(), this); }
    void resizeEvent(QResizeEvent* event) override
    {
        const int below = count() == 2 ? widget(1)->height() : -1;
        QSplitter::resizeEvent(event);
        const int total = height() - handleWidth();
        if (below <= 0 || event->oldSize().height() <= 0 || total <= below)
            return;
        setSizes({total - below, below});
    }
};

// Hints are written with the platform's line breaks; tooltips want "\n".
QString hint(const char* text)
{
    return QString::fromLatin1(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QFont courier(int pointSize)
{
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(pointSize);
    return font;
}

QString portName(int port)
{
    return QStringLiteral("COM%1").arg(port + 1);
}

// Where the device of a COM number and the window's settings are stored.
QString portDeviceKey(int port)
{
    return ProgramKey() + QStringLiteral("/Ports/") + portName(port);
}

QString windowStateGroup()
{
    return ProgramKey() + QStringLiteral("/WindowState");
}
}  // namespace

// ---------------------------------------------------------------------------

namespace {
// The small animation of the about box: a byte running along a serial line.
class TLineAnimation : public QWidget {
public:
    explicit TLineAnimation(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(200, 22);
        m_timer.setInterval(60);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 200;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int bits = 10;  // start, eight data bits, stop
        const quint8 value = 'T';
        QPen pen(QColor(0, 110, 0), 2);
        p.setPen(pen);
        QPolygon wave;
        const int cell = 10;
        for (int x = -cell * bits; x < width() + cell; x += cell) {
            const int pos = ((x + m_step) / cell) % (bits + 4);
            bool level = true;
            if (pos == 0)
                level = false;
            else if (pos >= 1 && pos <= 8)
                level = (value >> (pos - 1)) & 1;
            const int y = level ? 4 : height() - 4;
            const int x0 = x - (m_step % cell);
            wave << QPoint(x0, y) << QPoint(x0 + cell, y);
        }
        p.drawPolyline(wave);
    }

private:
    QTimer m_timer;
    int m_step = 0;
};
}  // namespace

TAboutFrm::TAboutFrm(QWidget* parent) : QDialog(parent)
{
    initTerminalResources();
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(QStringLiteral("About Terminal"));
    setFixedSize(260, 193);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(4);
    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/terminal/terminal.xpm")).pixmap(32, 32));
    head->addWidget(icon);
    auto* name = new QLabel(QString::fromLatin1(MainCaption), this);
    QFont big = name->font();
    big.setPointSize(16);
    big.setBold(true);
    name->setFont(big);
    head->addWidget(name, 1);
    layout->addLayout(head);
    layout->addWidget(new TLineAnimation(this), 0, Qt::AlignHCenter);
    auto* credits = new QLabel(QStringLiteral("A serial-line terminal for 8051 boards, built with Qt."), this);
    credits->setWordWrap(true);
    layout->addWidget(credits);
    auto* link1 = new QLabel(QStringLiteral("<a href=\"https://www.qt.io\">www.qt.io</a>"), this);
    link1->setOpenExternalLinks(true);
    auto* link2 = new QLabel(
        QStringLiteral("<a href=\"https://en.wikipedia.org/wiki/Intel_8051\">About the 8051 family</a>"), this);
    link2->setOpenExternalLinks(true);
    layout->addWidget(link1);
    layout->addWidget(link2);
    layout->addStretch(1);
    ExitBtn = new QPushButton(QStringLiteral("&Exit"), this);
    ExitBtn->setToolTip(hint("close this box"));
    ExitBtn->setDefault(true);
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ExitBtn, 0, Qt::AlignHCenter);
}

// ---------------------------------------------------------------------------

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    initTerminalResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(MainCaption));
    setWindowIcon(QIcon(QStringLiteral(":/terminal/terminal.xpm")));
    resize(727, 504);
    m_applicationTitle = QString::fromLatin1(MainCaption);

    // The tooltip colour of the window (red 240, green 251, blue 255).
    QPalette tips = QToolTip::palette();
    tips.setColor(QPalette::ToolTipBase, QColor(240, 251, 255));
    tips.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(tips);

    SerialPortDriver = new TSerialPortDriver(this);
    SerialPortDriver->SetComPortParity(ptEVEN);
    SerialPortDriver->SetComPortPollingDelay(0);
    SerialPortDriver->OnReceiveData = [this](TSerialPortDriver* sender, const char* data, int size) {
        SerialPortDriverReceiveData(sender, data, size);
    };
    connect(SerialPortDriver, &TSerialPortDriver::OnConnectionLost, this, &TMainForm::SerialPortDriverConnectionLost);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 0);
    column->setSpacing(4);
    auto* panel = new QWidget(central);
    panel->setObjectName(QStringLiteral("Panel1"));
    buildControlPanel(panel);
    column->addWidget(panel);

    RxSplitter1 = new TGripSplitter(Qt::Vertical, central);
    RxSplitter1->setObjectName(QStringLiteral("RxSplitter1"));
    RxSplitter1->setChildrenCollapsible(false);
    RxSplitter1->setHandleWidth(8);
    Panel3 = new QWidget(RxSplitter1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel4 = new QWidget(RxSplitter1);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    RxSplitter1->addWidget(Panel3);
    RxSplitter1->addWidget(Panel4);
    RxSplitter1->setStretchFactor(0, 0);  // the receive area keeps its height,
    RxSplitter1->setStretchFactor(1, 1);  // the transmit area takes the rest
    buildReceiveArea();
    buildTransmitArea();
    column->addWidget(RxSplitter1, 1);
    setCentralWidget(central);
    m_panel3Minimum = Panel3->minimumSizeHint().height();
    m_panel4Minimum = Panel4->minimumSizeHint().height();
    m_pendingPanel3Height = FirstStartHeight;  // until one is stored: all the transmit area leaves

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusText = new QLabel(LinkStatusText(TLinkState::Disconnected), StatusBar);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    StatusBar->addWidget(m_statusText);
    // Why a port failed, what a command could not do, how a send ended.
    m_statusDetail = new QLabel(StatusBar);
    m_statusDetail->setObjectName(QStringLiteral("StatusDetail"));
    m_statusDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_statusDetail->setStyleSheet(QStringLiteral("QLabel { border-left: 1px solid palette(mid); padding-left: 6px; }"));
    StatusBar->addWidget(m_statusDetail, 1);
    // Send File's progress, shown while a file is on its way.
    SendProgress = new QProgressBar(StatusBar);
    SendProgress->setObjectName(QStringLiteral("SendProgress"));
    SendProgress->setFixedWidth(160);
    SendProgress->setRange(0, 1000);
    SendProgressText = new QLabel(StatusBar);
    SendProgressText->setObjectName(QStringLiteral("SendProgressText"));
    SendCancelBtn = new QPushButton(QStringLiteral("Cancel"), StatusBar);
    SendCancelBtn->setObjectName(QStringLiteral("SendCancelBtn"));
    SendCancelBtn->setToolTip(QStringLiteral("Stop sending the file"));
    ReconnectBtn = new QPushButton(QStringLiteral("Reconnect"), StatusBar);
    ReconnectBtn->setObjectName(QStringLiteral("ReconnectBtn"));
    ReconnectBtn->setToolTip(QStringLiteral("The device is back: connect to it again"));
    ReconnectBtn->hide();
    connect(ReconnectBtn, &QPushButton::clicked, this, &TMainForm::ConnectBtnClick);
    StatusBar->addWidget(ReconnectBtn);
    m_returnWatch.setInterval(1000);
    connect(&m_returnWatch, &QTimer::timeout, this, &TMainForm::watchForReturn);
    LogStatus = new QLabel(StatusBar);
    LogStatus->setObjectName(QStringLiteral("LogStatus"));
    LogStatus->hide();
    StatusBar->addPermanentWidget(LogStatus);
    StatusBar->addPermanentWidget(SendProgressText);
    StatusBar->addPermanentWidget(SendProgress);
    StatusBar->addPermanentWidget(SendCancelBtn);
    for (QWidget* w : {static_cast<QWidget*>(SendProgressText), static_cast<QWidget*>(SendProgress),
                       static_cast<QWidget*>(SendCancelBtn)})
        w->hide();
    setStatusBar(StatusBar);

    m_log.LineEnded = [this](const QByteArray& line) {
        if (m_logFile.active() && m_logFile.mode() == TLogFile::Text && !m_logFile.writeLine(line))
            logFailed();
    };

    m_transfer = new TProtocolTransfer(SerialPortDriver, this);
    connect(m_transfer, &TProtocolTransfer::progress, this, &TMainForm::showTransferProgress);
    connect(m_transfer, &TProtocolTransfer::finished, this, &TMainForm::transferFinished);
    connect(SendCancelBtn, &QPushButton::clicked, m_transfer, &TProtocolTransfer::cancel);
    m_sender = new TFileSender(SerialPortDriver, this);
    connect(m_sender, &TFileSender::progress, this, &TMainForm::showSendProgress);
    connect(m_sender, &TFileSender::finished, this, &TMainForm::sendFinished);
    connect(SendCancelBtn, &QPushButton::clicked, m_sender, &TFileSender::cancel);

    // The live plot, beside the boxes; it takes data only while shown.
    PlotDock = new QDockWidget(QStringLiteral("Plot"), this);
    PlotDock->setObjectName(QStringLiteral("PlotDock"));
    PlotDock->setWidget(new TPlotPane(&m_plotData, PlotDock));
    PlotDock->setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, PlotDock);
    PlotDock->hide();
    connect(PlotBtn, &QPushButton::toggled, PlotDock, &QDockWidget::setVisible);
    connect(PlotDock, &QDockWidget::visibilityChanged, this, [this](bool on) {
        if (!PlotDock->isHidden() != PlotBtn->isChecked())
            PlotBtn->setChecked(!PlotDock->isHidden());
        if (on && !m_plotClock.isValid())
            m_plotClock.start();
    });
    AboutFrm = new TAboutFrm(this);
    m_displayTimer.setSingleShot(true);
    connect(&m_displayTimer, &QTimer::timeout, this, &TMainForm::refreshDisplay);

    loadPortDevices();
    setupStorage();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TMainForm::applicationStateChanged);

    // FormCreate: the macro histories (this also empties the macro texts).
    lbMacro1->LoadHistory();
    lbMacro2->LoadHistory();
    lbMacro3->LoadHistory();
    HexBox->LoadHistory();
}

TMainForm::~TMainForm()
{
    StopLog();
    if (!m_saved)
        SaveStored(true);
    SerialPortDriver->OnReceiveData = nullptr;
    SerialPortDriver->Disconnect();
}

void TMainForm::buildControlPanel(QWidget* panel)
{
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    auto makeButton = [&](QPushButton*& button, const char* name, const char* caption, const char* tip) {
        button = new QPushButton(QString::fromLatin1(caption), panel);
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
    connect(ConnectBtn, &QPushButton::clicked, this, &TMainForm::ConnectBtnClick);
    connect(DisconnectBtn, &QPushButton::clicked, this, &TMainForm::DisconnectBtnClick);
    connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
    connect(QuitBtn, &QPushButton::clicked, this, &TMainForm::QuitBtnClick);

    auto makeGroup = [&](TRadioGroup*& group, const char* name, const char* caption, const char* tip,
                         const QStringList& items, int columns, int index, void (TMainForm::*handler)()) {
        group = new TRadioGroup(QString::fromLatin1(caption), items, columns, panel);
        group->setObjectName(QString::fromLatin1(name));
        group->setToolTip(hint(tip));
        group->SetItemIndex(index);
        connect(group, &TRadioGroup::Click, this, handler);
        row->addWidget(group);
    };
    makeGroup(ComPortRG, "ComPortRG", " COM Port ", "Port number", {"COM1", "COM2", "COM3", "COM4"}, 1, 0,
              &TMainForm::ComPortRGClick);
    makeGroup(BaudRateRG, "BaudRateRG", " Baud rate ", "Baud rate",
              {"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"}, 3,
              3, &TMainForm::BaudRateRGClick);
    // Faster rates, or one the user types, where the device takes them.
    cbBaudRate = new QComboBox(BaudRateRG);
    cbBaudRate->setObjectName(QStringLiteral("cbBaudRate"));
    cbBaudRate->setEditable(true);
    cbBaudRate->setInsertPolicy(QComboBox::NoInsert);
    cbBaudRate->addItems({QStringLiteral("230400"), QStringLiteral("460800"), QStringLiteral("921600")});
    cbBaudRate->lineEdit()->setValidator(new QIntValidator(1, 99999999, cbBaudRate));
    cbBaudRate->setToolTip(QStringLiteral("Another bit rate: choose one or type it"));
    BaudRateRG->addOtherItem(QStringLiteral("other"), cbBaudRate);
    connect(cbBaudRate, &QComboBox::activated, this, [this] {
        if (BaudRateRG->ItemIndex() == OtherBaudRateIndex)
            BaudRateRGClick();
        else
            BaudRateRG->SetItemIndex(OtherBaudRateIndex);
    });
    connect(cbBaudRate->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (BaudRateRG->ItemIndex() == OtherBaudRateIndex)
            BaudRateRGClick();
    });
    makeGroup(DataBitsRG, "DataBitsRG", " Data bits", "Number of Data bits", {"5", "6", "7", "8"}, 1, 3,
              &TMainForm::DataBitsRGClick);
    makeGroup(ParityRG, "ParityRG", " Parity ", "Parity", {"none", "odd", "even", "mark", "space"}, 1, 0,
              &TMainForm::ParityRGClick);
    makeGroup(StopBitsRG, "StopBitsRG", "Stop Bits", "Number of Stop bits", {"1", "1.5", "2"}, 1, 0,
              &TMainForm::StopBitsRGClick);
    makeGroup(HandshakingRG, "HandshakingRG", " Handshaking ", "Handshaking",
              {"none", "RTS/CTS", "XON/XOFF", "RTS/CTS + XON/XOFF"}, 1, 0, &TMainForm::HandshakingRGClick);
    row->addStretch(1);

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
}

void TMainForm::buildReceiveArea()
{
    auto* row = new QHBoxLayout(Panel3);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    GroupBox3 = new QGroupBox(QStringLiteral("Settings"), Panel3);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setToolTip(hint("Terminal Settings"));
    auto* settings = new QVBoxLayout(GroupBox3);
    settings->setContentsMargins(6, 4, 6, 4);
    settings->setSpacing(4);
    cbAuto = new QCheckBox(QStringLiteral("Auto Dis/Connect"), GroupBox3);
    cbAuto->setObjectName(QStringLiteral("cbAuto"));
    cbAuto->setToolTip(hint("Auto Connect and Disconnect.\r\nIf you use same com port for \r\nsomething else. "
                            "Like programing,... "));
    settings->addWidget(cbAuto);
    auto* fontRow = new QHBoxLayout;
    auto* fontLabel = new QLabel(QStringLiteral("Font Size"), GroupBox3);
    cbFontSize = new QComboBox(GroupBox3);
    cbFontSize->setObjectName(QStringLiteral("cbFontSize"));
    cbFontSize->setEditable(true);
    cbFontSize->setInsertPolicy(QComboBox::NoInsert);
    cbFontSize->addItems({"6", "8", "10", "12", "14"});
    cbFontSize->setEditText(QStringLiteral("8"));
    cbFontSize->setToolTip(hint("Font Size"));
    cbFontSize->setMinimumContentsLength(3);
    cbFontSize->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fontLabel->setBuddy(cbFontSize);
    fontRow->addWidget(fontLabel);
    fontRow->addWidget(cbFontSize, 1);
    settings->addLayout(fontRow);
    TCBox = new QCheckBox(QStringLiteral("Time"), GroupBox3);
    TCBox->setObjectName(QStringLiteral("TCBox"));
    TCBox->setToolTip(hint("Show time in Receive box"));
    settings->addWidget(TCBox);
    cbStampOnce = new QCheckBox(QStringLiteral("One time stamp per line"), GroupBox3);
    cbStampOnce->setObjectName(QStringLiteral("cbStampOnce"));
    cbStampOnce->setToolTip(QStringLiteral("A line keeps the time its first byte came,\nhowever many blocks it spans"));
    settings->addWidget(cbStampOnce);
    cbLfNewLine = new QCheckBox(QStringLiteral("LF starts a new line"), GroupBox3);
    cbLfNewLine->setObjectName(QStringLiteral("cbLfNewLine"));
    cbLfNewLine->setToolTip(QStringLiteral("For devices that end lines with LF only;\nCR LF stays one line break"));
    settings->addWidget(cbLfNewLine);
    auto* enterRow = new QHBoxLayout;
    auto* enterLabel = new QLabel(QStringLiteral("Enter sends"), GroupBox3);
    cbEnterKey = new QComboBox(GroupBox3);
    cbEnterKey->setObjectName(QStringLiteral("cbEnterKey"));
    cbEnterKey->addItems({QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    cbEnterKey->setToolTip(QStringLiteral("What the Enter key sends while typing"));
    enterLabel->setBuddy(cbEnterKey);
    enterRow->addWidget(enterLabel);
    enterRow->addWidget(cbEnterKey, 1);
    settings->addLayout(enterRow);
    auto* keepRow = new QHBoxLayout;
    auto* keepLabel = new QLabel(QStringLiteral("Keep"), GroupBox3);
    sbKeepMB = new QSpinBox(GroupBox3);
    sbKeepMB->setObjectName(QStringLiteral("sbKeepMB"));
    sbKeepMB->setRange(16, 65536);
    sbKeepMB->setValue(int(TReceiveLog::DefaultMemoryLimit >> 20));
    sbKeepMB->setSuffix(QStringLiteral(" MB"));
    sbKeepMB->setToolTip(QStringLiteral("Memory for the received lines and values;\nbeyond it the oldest are dropped "
                                        "from the boxes\n(Log to file keeps everything)"));
    keepLabel->setBuddy(sbKeepMB);
    keepRow->addWidget(keepLabel);
    keepRow->addWidget(sbKeepMB, 1);
    settings->addLayout(keepRow);
    cbReconnect = new QCheckBox(QStringLiteral("Auto reconnect"), GroupBox3);
    cbReconnect->setObjectName(QStringLiteral("cbReconnect"));
    cbReconnect->setToolTip(QStringLiteral("When an unplugged adapter comes back,\nconnect again without asking"));
    settings->addWidget(cbReconnect);
    connect(sbKeepMB, &QSpinBox::valueChanged, this, [this](int mb) { m_log.MemoryLimit = qint64(mb) << 20; });
    settings->addStretch(1);
    connect(cbEnterKey, &QComboBox::currentIndexChanged, this, &TMainForm::cbEnterKeyChange);
    row->addWidget(GroupBox3);

    auto* receive = new QGroupBox(QStringLiteral("Receive"), Panel3);
    receive->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(receive);
    grid->setContentsMargins(4, 2, 4, 4);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    // The counter of one byte value and the box commands, above RxMemo.
    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    ChCount0 = new QSpinBox(receive);
    ChCount0->setObjectName(QStringLiteral("ChCount0"));
    ChCount0->setRange(0, 255);
    ChCount0->setValue(13);
    ChCount0->setToolTip(hint("ASCII code of the char which\r\nwill be counted;\r\nfor example 13 - <CR>"));
    Label5 = new QLabel(QStringLiteral("Counter ="), receive);
    Label5->setObjectName(QStringLiteral("Label5"));
    LabCount0 = new QLabel(QStringLiteral("0"), receive);
    LabCount0->setObjectName(QStringLiteral("LabCount0"));
    LabCount0->setMinimumWidth(60);
    Button2 = new QPushButton(QStringLiteral("Reset Counter"), receive);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setToolTip(hint("Reset ASCII char counter"));
    ClrInMemo = new QPushButton(QStringLiteral("CLEAR"), receive);
    ClrInMemo->setObjectName(QStringLiteral("ClrInMemo"));
    ClrInMemo->setToolTip(hint("Clear Receive box"));
    header->addWidget(ChCount0);
    header->addWidget(Label5);
    header->addWidget(LabCount0);
    header->addWidget(Button2);
    header->addStretch(1);
    LogBtn = new QPushButton(QStringLiteral("Log to file..."), receive);
    LogBtn->setObjectName(QStringLiteral("LogBtn"));
    LogBtn->setToolTip(QStringLiteral("Write everything received to a file:\nthe raw bytes, or the text as shown"));
    header->addWidget(LogBtn);
    header->addWidget(ClrInMemo);
    grid->addLayout(header, 0, 0);

    RxMemo = new TCompactTextView(receive);
    RxMemo->setObjectName(QStringLiteral("RxMemo"));
    // One scroll bar, right of the value columns, moves the receive box and
    // the columns together (RxMemo's own bar works hidden behind it).
    RxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RxScrollBar = new QScrollBar(Qt::Vertical, receive);
    RxScrollBar->setObjectName(QStringLiteral("RxScrollBar"));
    QScrollBar* own = RxMemo->verticalScrollBar();
    RxScrollBar->setRange(own->minimum(), own->maximum());
    connect(own, &QScrollBar::rangeChanged, this, [this, own](int min, int max) {
        RxScrollBar->setPageStep(own->pageStep());
        RxScrollBar->setRange(min, max);
    });
    connect(own, &QScrollBar::valueChanged, this, [this](int value) {
        RxScrollBar->setValue(value);
        syncColumns();
    });
    connect(RxScrollBar, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    RxMemo->setFont(courier(8));
    RxMemo->setSource(&m_log.Text);
    auto makeColumn = [&](TCompactTextView*& memo, QCheckBox*& box, const char* name, const char* boxName,
                          const char* caption, const char* tip, const TLineSource* source, int width, int col) {
        memo = new TCompactTextView(receive);
        memo->setObjectName(QString::fromLatin1(name));
        memo->setToolTip(hint(tip));
        memo->setFont(courier(8));
        memo->setFixedWidth(width);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setScrollPartner(RxScrollBar);
        memo->setSource(source);
        box = new QCheckBox(QString::fromLatin1(caption), receive);
        box->setObjectName(QString::fromLatin1(boxName));
        grid->addWidget(box, 0, col, Qt::AlignBottom);
        grid->addWidget(memo, 1, col);
    };
    grid->addWidget(RxMemo, 1, 0);
    makeColumn(Memo1, CBoxDec, "Memo1", "CBoxDec", "Dec", "DEC value", &m_log.Dec, 56, 1);
    makeColumn(Memo2, CBoxHex, "Memo2", "CBoxHex", "Hex", "HEX value", &m_log.Hex, 57, 2);
    makeColumn(Memo3, CBoxBin, "Memo3", "CBoxBin", "Bin", "BIN value", &m_log.Bin, 82, 3);
    grid->addWidget(RxScrollBar, 1, 4);
    FindBar = new TFindBar(receive);
    FindBar->setObjectName(QStringLiteral("FindBar"));
    FindBar->hide();
    grid->addWidget(FindBar, 2, 0, 1, 5);
    FindAction = new QAction(QStringLiteral("&Find..."), this);
    FindAction->setObjectName(QStringLiteral("FindAction"));
    FindAction->setShortcut(QKeySequence::Find);  // shown in the menu; the shortcut below works
    FindAction->setShortcutContext(Qt::WidgetShortcut);
    connect(FindAction, &QAction::triggered, FindBar, &TFindBar::open);
    RxMemo->addMenuAction(FindAction);
    // Ctrl+F in the receive area only: typed in the transmit box it is a byte.
    auto* findKey = new QShortcut(QKeySequence::Find, receive, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(findKey, &QShortcut::activated, FindBar, &TFindBar::open);
    connect(FindBar, &TFindBar::findRequested, this, &TMainForm::FindInReceive);
    connect(FindBar, &TFindBar::closed, RxMemo, [this] { RxMemo->setFocus(); });
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);
    row->addWidget(receive, 1);

    connect(ClrInMemo, &QPushButton::clicked, this, &TMainForm::ClrInMemoClick);
    connect(LogBtn, &QPushButton::clicked, this, &TMainForm::LogBtnClick);
    connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
    connect(cbFontSize->lineEdit(), &QLineEdit::textEdited, this, &TMainForm::cbFontSizeChange);
    connect(cbFontSize, &QComboBox::activated, this, &TMainForm::cbFontSizeChange);
}

void TMainForm::buildTransmitArea()
{
    auto* group = new QGroupBox(QStringLiteral("Transmit"), Panel4);
    group->setObjectName(QStringLiteral("GroupBox2"));
    auto* outer = new QVBoxLayout(Panel4);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(group);
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(4, 2, 4, 4);
    row->setSpacing(4);

    TxMemo = new TTxMemo(group);
    TxMemo->setObjectName(QStringLiteral("TxMemo"));
    TxMemo->setFont(courier(8));
    TxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    TxMemo->OnKeyPress = [this](const QByteArray& key) { TxMemoKeyPress(key); };
    auto* typed = new QVBoxLayout;
    typed->setSpacing(2);
    typed->addWidget(TxMemo, 1);
    auto* hexRow = new QHBoxLayout;
    hexRow->setSpacing(4);
    auto* hexLabel = new QLabel(QStringLiteral("Hex"), group);
    HexBox = new THistoryComboBox(group);
    HexBox->setObjectName(QStringLiteral("HexBox"));
    HexBox->setToolTip(QStringLiteral("Bytes in hexadecimal, such as 0D 0A or 0D0A;\nEnter sends them"));
    HexBox->SetKey(QStringLiteral("TERMINAL\\HexSend"));
    HexBox->SetMaxHistoryLength(10);
    HexBox->setMinimumContentsLength(4);  // the window keeps its narrowest width
    hexLabel->setBuddy(HexBox);
    HexSendBtn = new QPushButton(QStringLiteral("Send"), group);
    HexSendBtn->setObjectName(QStringLiteral("HexSendBtn"));
    HexSendBtn->setToolTip(QStringLiteral("Send the hexadecimal bytes"));
    HexSendBtn->setFixedWidth(44);
    connect(HexSendBtn, &QPushButton::clicked, this, &TMainForm::HexSendBtnClick);
    connect(HexBox, &THistoryComboBox::entered, this, &TMainForm::HexSendBtnClick);
    hexRow->addWidget(hexLabel);
    hexRow->addWidget(HexBox, 1);
    hexRow->addWidget(HexSendBtn);
    typed->addLayout(hexRow);
    row->addLayout(typed, 1);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(2);
    auto makeButton = [&](QPushButton*& button, const char* name, const char* caption, const char* tip, int r,
                          int c, int span, void (TMainForm::*handler)()) {
        button = new QPushButton(QString::fromLatin1(caption), group);
        button->setObjectName(QString::fromLatin1(name));
        if (tip)
            button->setToolTip(hint(tip));
        buttons->addWidget(button, r, c, 1, span);
        connect(button, &QPushButton::clicked, this, handler);
    };
    makeButton(ClrOutMemo, "ClrOutMemo", "CLEAR", "Clear Transmit box", 0, 0, 2, &TMainForm::ClrOutMemoClick);
    makeButton(SetDTRBtn, "SetDTRBtn", "SET DTR", nullptr, 1, 0, 1, &TMainForm::SetDTRBtnClick);
    makeButton(ClrDTRBtn, "ClrDTRBtn", "CLR DTR", nullptr, 1, 1, 1, &TMainForm::ClrDTRBtnClick);
    makeButton(SetRTSBtn, "SetRTSBtn", "SET RTS", nullptr, 2, 0, 1, &TMainForm::SetRTSBtnClick);
    makeButton(ClrRTSBtn, "ClrRTSBtn", "CLR RTS", nullptr, 2, 1, 1, &TMainForm::ClrRTSBtnClick);
    makeButton(SendFileBtn, "SendFileBtn", "Send File",
               "Send file through serial line.\r\nUseful for downloading data\r\nto target controler.", 3, 0, 1,
               &TMainForm::SendFileBtnClick);
    makeButton(PacingBtn, "PacingBtn", "Pacing...", "Pauses after each character or line of Send File,\r\n"
               "and a prompt to wait for, for monitors and boot loaders", 3, 1, 1, &TMainForm::PacingBtnClick);
    makeButton(BreakBtn, "BreakBtn", "BREAK", "Hold the line in the break state for 250 ms", 4, 0, 1,
               &TMainForm::BreakBtnClick);
    makeButton(TransferBtn, "TransferBtn", "Transfer", "Send or receive files with XMODEM, YMODEM or ZMODEM", 4, 1,
               1, &TMainForm::TransferBtnClick);
    // The modem status lines while connected.
    auto* leds = new QHBoxLayout;
    leds->setSpacing(2);
    QLabel** ledSlots[4] = {&LedCTS, &LedDSR, &LedDCD, &LedRI};
    const char* const ledNames[4] = {"CTS", "DSR", "DCD", "RI"};
    for (int i = 0; i < 4; ++i) {
        auto* led = new QLabel(QString::fromLatin1(ledNames[i]), group);
        led->setObjectName(QStringLiteral("Led") + QString::fromLatin1(ledNames[i]));
        led->setAlignment(Qt::AlignCenter);
        led->setMinimumWidth(34);
        leds->addWidget(led);
        *ledSlots[i] = led;
    }
    buttons->addLayout(leds, 5, 0, 1, 2);
    buttons->setRowStretch(6, 1);
    row->addLayout(buttons);
    m_modemTimer.setInterval(200);
    connect(&m_modemTimer, &QTimer::timeout, this, &TMainForm::showModemLines);
    showModemLines();

    gbMacros = new QGroupBox(QStringLiteral("Transmit Macros"), group);
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
    void (TMainForm::*handlers[3])() = {&TMainForm::bMacro1Click, &TMainForm::bMacro2Click,
                                        &TMainForm::bMacro3Click};
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
            if (t.size() > MaxMacroLength)
                m_statusDetail->setText(
                    QStringLiteral("Macro %1 is longer than %2 characters; it will not be sent").arg(i + 1).arg(MaxMacroLength));
        });
        auto* button = new QPushButton(QStringLiteral("M%1").arg(i + 1), gbMacros);
        button->setObjectName(QStringLiteral("bMacro%1").arg(i + 1));
        button->setToolTip(QStringLiteral("Send macro %1").arg(i + 1));
        button->setFixedWidth(36);
        connect(button, &QPushButton::clicked, this, handlers[i]);
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
    row->addWidget(gbMacros, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SaveMacro11 = PopupMenu1->addAction(QStringLiteral("Save Macro 1"), this, &TMainForm::SaveMacro11Click);
    SaveMacro21 = PopupMenu1->addAction(QStringLiteral("Save Macro 2"), this, &TMainForm::SaveMacro21Click);
    SaveMAcro31 = PopupMenu1->addAction(QStringLiteral("Save Macro 3"), this, &TMainForm::SaveMAcro31Click);
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

// ---------------------------------------------------------------------------
// Receive path

void TMainForm::SerialPortDriverReceiveData(TSerialPortDriver*, const char* DataPtr, int DataSize)
{
    // During a file transfer the bytes belong to the protocol program.
    if (m_transfer->active()) {
        m_transfer->received(DataPtr, DataSize);
        return;
    }
    TReceiveOptions options;
    options.Dec = CBoxDec->isChecked();
    options.Hex = CBoxHex->isChecked();
    options.Bin = CBoxBin->isChecked();
    options.Time = TCBox->isChecked();
    options.LfNewLine = cbLfNewLine->isChecked();
    options.StampOnce = cbStampOnce->isChecked();
    if (m_logFile.active() && m_logFile.mode() == TLogFile::Raw && !m_logFile.writeRaw(DataPtr, DataSize))
        logFailed();
    // Text in the spin box that is no number (cleared while typing) counts
    // as its lower limit 0, not as the last value it held.
    options.CountChar = ChCount0->hasAcceptableInput() ? ChCount0->value() : ChCount0->minimum();
    m_log.receive(DataPtr, DataSize, options);
    if (PlotBtn->isChecked()) {
        if (!m_plotClock.isValid())
            m_plotClock.start();
        m_plotData.receive(DataPtr, DataSize, m_plotClock.nsecsElapsed() / 1e9);
    }
    if (m_sender->active())
        m_sender->received(DataPtr, DataSize);
    m_columnsChanged[0] = m_columnsChanged[0] || options.Dec;
    m_columnsChanged[1] = m_columnsChanged[1] || options.Hex;
    m_columnsChanged[2] = m_columnsChanged[2] || options.Bin;
    // However fast blocks come, the boxes and the counter are redrawn at most
    // every few tens of milliseconds (and at once after a quiet spell).
    if (m_displayTimer.isActive())
        return;
    if (!m_sinceDisplay.isValid() || m_sinceDisplay.elapsed() >= TCompactTextView::RefreshPeriod)
        refreshDisplay();
    else
        m_displayTimer.start(int(TCompactTextView::RefreshPeriod - m_sinceDisplay.elapsed()));
}

void TMainForm::refreshDisplay()
{
    m_displayTimer.stop();
    m_sinceDisplay.start();
    const QString count = QString::number(m_log.CharCount);
    if (LabCount0->text() != count)
        LabCount0->setText(count);
    RxMemo->refreshNow();
    if (m_logFile.active())
        showLogState();
    TCompactTextView* columns[3] = {Memo1, Memo2, Memo3};
    for (int i = 0; i < 3; ++i)
        if (std::exchange(m_columnsChanged[i], false))
            columns[i]->refreshNow();
    syncColumns();
}

void TMainForm::syncColumns()
{
    // At the end the columns show their newest values; scrolled back, each
    // shows the values of the first line in view.
    const bool atEnd = RxMemo->atEnd();
    const qint64 stream = m_log.Text.streamStart(RxMemo->firstVisibleLine());
    const TValueColumn* sources[3] = {&m_log.Dec, &m_log.Hex, &m_log.Bin};
    TCompactTextView* columns[3] = {Memo1, Memo2, Memo3};
    for (int i = 0; i < 3; ++i) {
        if (atEnd)
            columns[i]->scrollToEnd();
        else
            columns[i]->setFirstVisibleLine(sources[i]->lineAtStream(stream));
    }
}

void TMainForm::ClrInMemoClick()
{
    m_log.clear();
    for (TCompactTextView* view : {RxMemo, Memo1, Memo2, Memo3}) {
        view->clearSelection();
        view->refreshNow();
    }
    syncColumns();
}

void TMainForm::LogBtnClick()
{
    if (m_logFile.active()) {
        StopLog();
        return;
    }
    const QString rawFilter = QStringLiteral("Raw received bytes (*.log *.bin)");
    const QString textFilter = QStringLiteral("Received text as shown, with time stamps (*.txt)");
    QString filter = m_logMode == TLogFile::Text ? textFilter : rawFilter;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Log to file"), m_logPath,
                                                      rawFilter + QStringLiteral(";;") + textFilter, &filter);
    if (path.isEmpty())
        return;
    StartLog(path, filter == textFilter ? TLogFile::Text : TLogFile::Raw);
}

bool TMainForm::StartLog(const QString& path, TLogFile::Mode mode)
{
    QString error;
    m_logMode = mode;
    m_logPath = path;
    if (!m_logFile.start(path, mode, &error)) {
        m_statusDetail->setText(QStringLiteral("Cannot log to %1: %2").arg(QDir::toNativeSeparators(path), error));
        beep();
        return false;
    }
    showLogState();
    return true;
}

void TMainForm::StopLog()
{
    m_logFile.stop(m_log.Text.hasLines() ? m_log.Text.last() : QByteArray());
    showLogState();
}

void TMainForm::logFailed()
{
    // Never silent: the status bar keeps the reason, and the error box says
    // that what follows is no longer logged.
    const QString message = QStringLiteral("Log stopped: %1").arg(m_logFile.errorString());
    m_statusDetail->setText(message);
    beep();
    showLogState();
    showError(message + QStringLiteral("\nWhat arrives from now on is not written to %1.")
                            .arg(QDir::toNativeSeparators(m_logFile.path())));
}

void TMainForm::showLogState()
{
    LogBtn->setText(m_logFile.active() ? QStringLiteral("Stop log") : QStringLiteral("Log to file..."));
    LogStatus->setVisible(m_logFile.active());
    if (m_logFile.active())
        LogStatus->setText(QStringLiteral("Log: %1, %2").arg(QFileInfo(m_logFile.path()).fileName(),
                                                             QLocale().formattedDataSize(m_logFile.size())));
}

void TMainForm::cbEnterKeyChange()
{
    static const char* const endings[] = {"\r", "\n", "\r\n"};
    TxMemo->EnterBytes = QByteArray(endings[qBound(0, cbEnterKey->currentIndex(), 2)]);
}

void TMainForm::Button2Click()
{
    m_log.CharCount = 0;
    LabCount0->setText(QStringLiteral("0"));
}

// ---------------------------------------------------------------------------
// Transmit path

void TMainForm::TxMemoKeyPress(const QByteArray& key)
{
    if (IsSending())
        return;
    if (SerialPortDriver->Connected())
        SerialPortDriver->SendData(key.constData(), int(key.size()));
}

void TMainForm::ClrOutMemoClick()
{
    TxMemo->clear();
}

void TMainForm::modemLineSet(const char* line, bool ok)
{
    if (ok || !SerialPortDriver->Connected())
        return;
    m_statusDetail->setText(QStringLiteral("%1 cannot be set on %2 (a pseudo-terminal, or a cable or adapter "
                                           "without the line)")
                                .arg(QString::fromLatin1(line),
                                     QDir::toNativeSeparators(SerialPortDriver->Device(SerialPortDriver->ComPort()))));
    beep();
}

void TMainForm::SetDTRBtnClick()
{
    modemLineSet("DTR", SerialPortDriver->SetDTR(true));
}

void TMainForm::ClrDTRBtnClick()
{
    modemLineSet("DTR", SerialPortDriver->SetDTR(false));
}

void TMainForm::SetRTSBtnClick()
{
    modemLineSet("RTS", SerialPortDriver->SetRTS(true));
}

void TMainForm::ClrRTSBtnClick()
{
    modemLineSet("RTS", SerialPortDriver->SetRTS(false));
}

void TMainForm::BreakBtnClick()
{
    if (!SerialPortDriver->Connected())
        return;
    if (!SerialPortDriver->SetBreak(true)) {
        modemLineSet("Break", false);
        return;
    }
    BreakBtn->setEnabled(false);
    QTimer::singleShot(250, this, [this] {
        SerialPortDriver->SetBreak(false);
        BreakBtn->setEnabled(true);
    });
}

void TMainForm::showModemLines()
{
    TSerialPortDriver::TModemLines lines;
    const bool connected = SerialPortDriver->Connected();
    const bool known = SerialPortDriver->ReadModemLines(lines);
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

void TMainForm::SendMacro(const QString& text)
{
    if (IsSending())
        return;
    if (text.size() > MaxMacroLength) {
        showError(QStringLiteral("The macro is longer than %1 characters and was not sent").arg(MaxMacroLength));
        return;
    }
    const TMacroDecoding macro = DecodeMacro(ToCp1250(text));
    if (!macro.Ok) {
        showError(InvalidIntegerMessage(macro.BadText));
        return;
    }
    TxMemo->appendPlainText(DisplayText(MacroEcho(macro.Bytes), HasControlPictures(TxMemo->font())));
    if (!macro.Bytes.isEmpty())
        SerialPortDriver->SendData(macro.Bytes.constData(), int(macro.Bytes.size()));
}

void TMainForm::HexSendBtnClick()
{
    if (IsSending())
        return;
    const THexBytes hex = ParseHexBytes(HexBox->currentText());
    if (!hex.Ok) {
        showError(QStringLiteral("Hexadecimal bytes, column %1: %2").arg(hex.Column).arg(hex.Error));
        return;
    }
    if (hex.Bytes.isEmpty())
        return;
    if (!SerialPortDriver->Connected()) {
        showError(QStringLiteral("Not connected; the bytes were not sent"));
        return;
    }
    TxMemo->appendPlainText(DisplayText(MacroEcho(hex.Bytes), HasControlPictures(TxMemo->font())));
    SerialPortDriver->SendData(hex.Bytes.constData(), int(hex.Bytes.size()));
    const QString text = HexBox->currentText();
    HexBox->SaveHistory();
    HexBox->SetText(text);
}

void TMainForm::FindInReceive(const TFindQuery& query)
{
    TCompactTextView::Position from{RxMemo->firstVisibleLine(), 0};
    if (RxMemo->hasSelection()) {
        from = RxMemo->selectionStart();
        if (query.Forward)
            ++from.Column;  // past the hit that is selected now
    }
    const auto hit = FindInLines(m_log.Text, query, from.Line, from.Column);
    FindBar->showResult(hit);
    if (!hit)
        return;
    const TCompactTextView::Position start{hit->Line, hit->Column};
    RxMemo->setSelection(start, {hit->Line, hit->Column + query.Text.size()});
    RxMemo->showPosition(start);
}

void TMainForm::bMacro1Click()
{
    SendMacro(lbMacro1->currentText());
}

void TMainForm::bMacro2Click()
{
    SendMacro(lbMacro2->currentText());
}

void TMainForm::bMacro3Click()
{
    SendMacro(lbMacro3->currentText());
}

void TMainForm::SaveMacro11Click()
{
    lbMacro1->SaveHistory();
}

void TMainForm::SaveMacro21Click()
{
    lbMacro2->SaveHistory();
}

void TMainForm::SaveMAcro31Click()
{
    lbMacro3->SaveHistory();
}

// ---------------------------------------------------------------------------
// Connection and settings

QString TMainForm::StatusText() const
{
    return m_statusText->text();
}

QString TMainForm::StatusDetail() const
{
    return m_statusDetail->text();
}

void TMainForm::showConnected()
{
    setLinkState(TLinkState::Connected);
}

void TMainForm::setLinkState(TLinkState state)
{
    const bool changed = state != m_linkState;
    m_linkState = state;
    const QStringList deviations =
        state == TLinkState::Connected ? SerialPortDriver->EffectiveSettings().Deviations : QStringList();
    m_statusText->setText(LinkStatusText(state, deviations));
    // Once the title tells the state, it follows every change of it.
    if (changed && m_applicationTitle != QString::fromLatin1(MainCaption))
        SetApplicationTitle(LinkTitleText(state));
}

QString OpenFailureText(const TOpenFailure& f)
{
    const QString device = QDir::toNativeSeparators(f.Device);
    switch (f.Error) {
    case oeNone:
        return QString();
    case oeNoSuchDevice:
        return QStringLiteral("%1: no such device").arg(device);
    case oePermissionDenied:
        if (f.Group.isEmpty() || f.Group == QLatin1String("root"))
            return QStringLiteral("%1: permission denied").arg(device);
        return QStringLiteral("%1: permission denied; join the group %2 (sudo usermod -aG %2 $USER) and log in again")
            .arg(device, f.Group);
    case oeInUse:
        if (f.HolderPid == QCoreApplication::applicationPid())
            return QStringLiteral("%1: in use by another terminal window").arg(device);
        if (f.HolderPid)
            return QStringLiteral("%1: in use by another program (%2, process %3)")
                .arg(device, f.Holder.isEmpty() ? QStringLiteral("?") : f.Holder)
                .arg(f.HolderPid);
        return QStringLiteral("%1: in use by another program").arg(device);
    case oeOther:
        return QStringLiteral("%1: %2").arg(device, f.SystemText);
    }
    return QString();
}

namespace {
// Whether a device is there now (a COM name on Windows is no file).
bool devicePresent(const QString& device)
{
#ifdef Q_OS_WIN
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&device](const QSerialPortInfo& info) {
        return info.portName().compare(device, Qt::CaseInsensitive) == 0
            || info.systemLocation().compare(device, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(device);
#endif
}
}  // namespace

void TMainForm::watchForReturn()
{
    const bool present = devicePresent(m_lostDevice);
    if (!present) {
        m_lostGone = true;
        return;
    }
    if (!m_lostGone || SerialPortDriver->Connected())
        return;
    // Back after it was gone: connect again, or offer to.
    m_returnWatch.stop();
    if (cbReconnect->isChecked()) {
        ConnectBtnClick();
        return;
    }
    m_statusDetail->setText(QStringLiteral("%1 is back").arg(QDir::toNativeSeparators(m_lostDevice)));
    ReconnectBtn->show();
}

void TMainForm::stopWatchingForReturn()
{
    m_returnWatch.stop();
    ReconnectBtn->hide();
}

void TMainForm::ConnectBtnClick()
{
    stopWatchingForReturn();
    ApplyPortSettings();
    if (SerialPortDriver->Connect()) {
        ConnectBtn->setEnabled(false);
        DisconnectBtn->setEnabled(true);
        showConnected();
        m_statusDetail->clear();
        showModemLines();
        TxMemo->setFocus();
    } else {
        setLinkState(TLinkState::OpenFailed);
        m_statusDetail->setText(OpenFailureText(SerialPortDriver->LastOpenFailure()));
        beep();
    }
}

void TMainForm::DisconnectBtnClick()
{
    stopWatchingForReturn();
    m_sender->portClosing();
    m_transfer->portClosing();
    SerialPortDriver->Disconnect();
    setLinkState(TLinkState::Disconnected);
    showModemLines();
    DisconnectBtn->setEnabled(false);
    ConnectBtn->setEnabled(true);
}

void TMainForm::SerialPortDriverConnectionLost()
{
    setLinkState(TLinkState::Lost);
    m_statusDetail->setText(QStringLiteral("%1 went away (unplugged, or the other side closed)")
                                .arg(QDir::toNativeSeparators(SerialPortDriver->Device(SerialPortDriver->ComPort()))));
    showModemLines();
    beep();
    DisconnectBtn->setEnabled(false);
    ConnectBtn->setEnabled(true);
    // An adapter that was pulled may come back.
    m_lostDevice = SerialPortDriver->Device(SerialPortDriver->ComPort());
    m_lostGone = !devicePresent(m_lostDevice);
    m_returnWatch.start();
}

void TMainForm::ApplyPortSettings()
{
    const bool wasConnected = SerialPortDriver->Connected();
    if (wasConnected)
        DisconnectBtnClick();
    SerialPortDriver->SetComPort(TComPortNumber(ComPortRG->ItemIndex()));
    BaudRateRGClick();
    DataBitsRGClick();
    ParityRGClick();
    HandshakingRGClick();
    if (wasConnected)
        ConnectBtnClick();
}

void TMainForm::ComPortRGClick()
{
    ApplyPortSettings();
    updatePortToolTip();
}

void TMainForm::BaudRateRGClick()
{
    if (BaudRateRG->ItemIndex() == OtherBaudRateIndex) {
        const int rate = cbBaudRate->currentText().trimmed().toInt();
        if (rate <= 0) {
            m_statusDetail->setText(QStringLiteral("'%1' is not a bit rate").arg(cbBaudRate->currentText()));
            beep();
            return;
        }
        SerialPortDriver->SetComPortCustomSpeed(rate);
    } else {
        SerialPortDriver->SetComPortCustomSpeed(0);
        SerialPortDriver->SetComPortSpeed(TComPortBaudRate(BaudRateRG->ItemIndex() + 1));
    }
    if (SerialPortDriver->Connected())
        showConnected();
}

void TMainForm::DataBitsRGClick()
{
    SerialPortDriver->SetComPortDataBits(TComPortDataBits(DataBitsRG->ItemIndex()));
    if (SerialPortDriver->Connected())
        showConnected();
}

void TMainForm::ParityRGClick()
{
    SerialPortDriver->SetComPortParity(TComPortParity(ParityRG->ItemIndex()));
    if (SerialPortDriver->Connected())
        showConnected();
}

void TMainForm::StopBitsRGClick()
{
    SerialPortDriver->SetComPortStopBits(TComPortStopBits(StopBitsRG->ItemIndex()));
    if (SerialPortDriver->Connected())
        showConnected();
}

void TMainForm::HandshakingRGClick()
{
    const int index = HandshakingRG->ItemIndex();
    SerialPortDriver->SetComPortHwHandshaking(index == 1 || index == 3 ? hhRTSCTS : hhNONE);
    SerialPortDriver->SetComPortSwHandshaking(index == 2 || index == 3 ? shXONXOFF : shNONE);
    if (SerialPortDriver->Connected())
        showConnected();
}

void TMainForm::SetApplicationTitle(const QString& title)
{
    // The main window's caption only: dialogs and error boxes keep theirs.
    m_applicationTitle = title;
    setWindowTitle(title);
}

void TMainForm::AppEventsActivate()
{
    m_disconnectAfterSend = false;
    if (cbAuto->isChecked())
        ConnectBtnClick();
    SetApplicationTitle(LinkTitleText(m_linkState));
}

void TMainForm::AppEventsDeactivate()
{
    // A file on its way keeps the port until it is through.
    if (cbAuto->isChecked() && IsSending())
        m_disconnectAfterSend = true;
    else if (cbAuto->isChecked())
        DisconnectBtnClick();
    SetApplicationTitle(LinkTitleText(m_linkState));
}

void TMainForm::applicationStateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (active == m_applicationActive)
        return;
    m_applicationActive = active;
    if (active)
        AppEventsActivate();
    else
        AppEventsDeactivate();
}

void TMainForm::cbFontSizeChange()
{
    const QString text = cbFontSize->currentText();
    int size = 0;
    if (!TextToInt(text, &size)) {
        if (!text.isEmpty())  // an emptied box is still being typed in
            showError(InvalidIntegerMessage(text));
        return;
    }
    if (size < 1 || size > 200)
        return;
    for (QWidget* box : {static_cast<QWidget*>(RxMemo), static_cast<QWidget*>(TxMemo)}) {
        QFont font = box->font();
        font.setPointSize(size);
        box->setFont(font);
    }
}

void TMainForm::FormShow()
{
    cbFontSizeChange();
}

void TMainForm::Button1Click()
{
    AboutFrm->exec();
}

void TMainForm::QuitBtnClick()
{
    close();
}

// ---------------------------------------------------------------------------
// Port devices

void TMainForm::loadPortDevices()
{
    const auto store = OpenUserStore();
    for (int i = 0; i < 4; ++i) {
        const QString stored = ReadStoreText(*store, portDeviceKey(i)).trimmed();
        SerialPortDriver->SetDevice(TComPortNumber(i), stored);  // empty: the default device
    }
    updatePortToolTip();
}

QString TMainForm::PortDevice(TComPortNumber port) const
{
    return SerialPortDriver->Device(port);
}

void TMainForm::SetPortDevice(TComPortNumber port, const QString& device)
{
    SerialPortDriver->SetDevice(port, device.trimmed());  // empty: the default device
    const QString value = SerialPortDriver->Device(port);
    const auto store = OpenUserStore();
    store->setValue(portDeviceKey(port), value);
    updatePortToolTip();
    // The open port is now another device: reopen it.
    if (SerialPortDriver->Connected() && ComPortRG->ItemIndex() == int(port))
        ApplyPortSettings();
}

void TMainForm::updatePortToolTip()
{
    const int port = qBound(0, ComPortRG->ItemIndex(), 3);
    ComPortRG->setToolTip(QStringLiteral("Port number\n%1 = %2\nDevice... (or a right click) chooses the device of each "
                                         "COM number")
                              .arg(portName(port), PortDevice(TComPortNumber(port))));
}

void TMainForm::BuildPortMenu(QMenu* menu)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (int i = 0; i < 4; ++i) {
        const auto port = TComPortNumber(i);
        const QString current = PortDevice(port);
        QMenu* sub = menu->addMenu(QStringLiteral("%1 = %2").arg(portName(i), current));
        auto addChoice = [&](const QString& device, const QString& label) {
            QAction* action = sub->addAction(label, this, [this, port, device] { SetPortDevice(port, device); });
            action->setCheckable(true);
            action->setChecked(device == current);
        };
        // Every device once: the system's list (one entry per device, however
        // many names it has), the default device marked in it or after it, and
        // a typed device that is neither.
        const QString standard = TSerialPortDriver::DefaultDevice(port);
        QStringList seen;
        bool standardListed = false;
        bool currentListed = current == standard;
        for (const QSerialPortInfo& info : ports) {
            const QString device = info.systemLocation();
            const QString canonical = QFileInfo(device).canonicalFilePath();
            const QString key = canonical.isEmpty() ? device : canonical;
            if (seen.contains(key))
                continue;
            seen << key;
            QString label = device;
            if (!info.description().isEmpty())
                label += QStringLiteral("  (") + info.description() + QLatin1Char(')');
            if (device == standard) {
                label += QStringLiteral("  [default]");
                standardListed = true;
            }
            currentListed = currentListed || device == current;
            addChoice(device, label);
        }
        if (!currentListed)
            addChoice(current, current);
        if (!seen.isEmpty() || !currentListed)
            sub->addSeparator();
        if (!standardListed)
            addChoice(standard, QStringLiteral("Default: %1").arg(standard));
        sub->addAction(QStringLiteral("Other device..."), this, [this, port, i] {
            bool ok = false;
            const QString device = QInputDialog::getText(this, QStringLiteral("COM Port"),
                                                         QStringLiteral("Device of %1:").arg(portName(i)),
                                                         QLineEdit::Normal, PortDevice(port), &ok);
            if (ok && !device.trimmed().isEmpty())
                SetPortDevice(port, device);
        });
    }
}

void TMainForm::showPortMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    BuildPortMenu(&menu);
    menu.exec(globalPos);
}

// ---------------------------------------------------------------------------
// Errors and beeps

void TMainForm::showError(const QString& message)
{
    if (OnError)
        OnError(message);
    else
        QMessageBox::critical(this, QStringLiteral("Terminal"), message);
}

void TMainForm::beep()
{
    ++m_beeps;
    QApplication::beep();
}

// ---------------------------------------------------------------------------
// Stored settings, placement, layout

void TMainForm::setupStorage()
{
    m_placement = std::make_unique<TStoredPlacement>(this);
}

TTerminalSettings TMainForm::settingsFromWindow() const
{
    TTerminalSettings s;
    s.ComPort = ComPortRG->ItemIndex();
    s.OtherChosen = BaudRateRG->ItemIndex() == OtherBaudRateIndex;
    s.OtherBitRate = cbBaudRate->currentText().trimmed().toInt();
    const int rate = BaudRateRG->ItemIndex();
    s.BitRate = s.OtherChosen ? s.OtherBitRate : rate >= 0 && rate < OtherBaudRateIndex ? TTerminalSettings::ListedBitRates[rate] : 0;
    s.DataBits = DataBitsRG->ItemIndex();
    s.Parity = ParityRG->ItemIndex();
    s.StopBits = StopBitsRG->ItemIndex();
    s.Handshaking = HandshakingRG->ItemIndex();
    const int height = m_pendingPanel3Height != -1 && !isVisible() ? m_pendingPanel3Height : Panel3->height();
    s.ReceiveTop = RxSplitter1->mapTo(this, QPoint(0, 0)).y() + height;
    s.ReceiveHeight = height;
    s.TransmitHeight = Panel4->height();
    s.AutoConnect = cbAuto->isChecked();
    s.FontSize = cbFontSize->currentText();
    const THistoryComboBox* macros[3] = {lbMacro1, lbMacro2, lbMacro3};
    for (int i = 0; i < 3; ++i)
        s.Macro[i] = macros[i]->currentText();
    s.Dec = CBoxDec->isChecked();
    s.Hex = CBoxHex->isChecked();
    s.Bin = CBoxBin->isChecked();
    s.LfNewLine = cbLfNewLine->isChecked();
    s.StampOnce = cbStampOnce->isChecked();
    s.EnterKey = cbEnterKey->currentIndex();
    s.Reconnect = cbReconnect->isChecked();
    s.KeepMB = sbKeepMB->value();
    s.LogMode = LogModeName(m_logMode);
    s.LogFile = m_logPath;
    return s;
}

void TMainForm::applySettings(const TTerminalSettings& s)
{
    ComPortRG->SetItemIndex(s.ComPort);
    const bool other = s.OtherChosen && s.BitRate == s.OtherBitRate;
    int listed = 0;
    while (listed < OtherBaudRateIndex && TTerminalSettings::ListedBitRates[listed] != s.BitRate)
        ++listed;
    if (other || listed == OtherBaudRateIndex) {
        if (s.BitRate > 0)
            cbBaudRate->setEditText(QString::number(s.BitRate));
        BaudRateRG->SetItemIndex(OtherBaudRateIndex);
    } else {
        if (s.OtherBitRate > 0)
            cbBaudRate->setEditText(QString::number(s.OtherBitRate));
        BaudRateRG->SetItemIndex(listed);
    }
    if (BaudRateRG->ItemIndex() == OtherBaudRateIndex)
        BaudRateRGClick();
    DataBitsRG->SetItemIndex(s.DataBits);
    ParityRG->SetItemIndex(s.Parity);
    StopBitsRG->SetItemIndex(s.StopBits);
    HandshakingRG->SetItemIndex(s.Handshaking);
    cbAuto->setChecked(s.AutoConnect);
    cbFontSize->setEditText(s.FontSize);
    THistoryComboBox* macros[3] = {lbMacro1, lbMacro2, lbMacro3};
    for (int i = 0; i < 3; ++i)
        macros[i]->setEditText(s.Macro[i]);
    CBoxDec->setChecked(s.Dec);
    CBoxHex->setChecked(s.Hex);
    CBoxBin->setChecked(s.Bin);
    cbLfNewLine->setChecked(s.LfNewLine);
    cbStampOnce->setChecked(s.StampOnce);
    if (s.EnterKey >= 0 && s.EnterKey < cbEnterKey->count())
        cbEnterKey->setCurrentIndex(s.EnterKey);
    cbReconnect->setChecked(s.Reconnect);
    sbKeepMB->setValue(s.KeepMB);
    m_logMode = LogModeFromName(s.LogMode);
    m_logPath = s.LogFile;
}

void TMainForm::RestoreStored()
{
    const auto store = OpenUserStore();
    const QString group = windowStateGroup();
    TTerminalSettings settings = settingsFromWindow();
    // The area heights apply only as stored: the height wins over the top.
    constexpr int none = std::numeric_limits<int>::min();
    settings.ReceiveTop = settings.ReceiveHeight = none;
    LoadTerminalSettings(*store, group, settings);
    applySettings(settings);
    if (settings.ReceiveTop != none)
        m_pendingPanel3Height = settings.ReceiveTop - RxSplitter1->mapTo(this, QPoint(0, 0)).y();
    if (settings.ReceiveHeight != none)
        m_pendingPanel3Height = settings.ReceiveHeight;
    m_placement->restore(*store, group);
    const TSendPacing pacing = LoadSendPacing(*store, ProgramKey());
    m_sender->setPacing(pacing);
    PacingBtn->setText(pacing.paced() ? QStringLiteral("Paced...") : QStringLiteral("Pacing..."));
}

void TMainForm::SaveStored(bool destroying)
{
    if (!m_placement->restored())
        return;
    const auto store = OpenUserStore();
    const QString group = windowStateGroup();
    SaveTerminalSettings(*store, group, settingsFromWindow());
    m_placement->save(*store, group, destroying);
    store->sync();
    // A settings file that could not be written is said, not passed over:
    // the next start would otherwise come up with the old settings unexplained.
    if (store->status() != QSettings::NoError)
        showError(QStringLiteral("The settings could not be saved to %1").arg(QDir::toNativeSeparators(store->fileName())));
    m_saved = true;
}

void TMainForm::setVisible(bool visible)
{
    const bool showing = visible && !isVisible();
    if (showing)
        RestoreStored();
    QMainWindow::setVisible(visible);
    if (showing) {
        applyPendingSplitter();
        FormShow();
    }
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        SaveStored(false);
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    applyPendingSplitter();
    updateSplitterLimits();
}

void TMainForm::applyPendingSplitter()
{
    if (m_pendingPanel3Height == -1 || !isVisible())
        return;
    // Shown but not laid out yet: lay out now, so the sizes apply to the
    // splitter's real height.
    if (layout())
        layout()->activate();
    const int total = RxSplitter1->height() - RxSplitter1->handleWidth();
    if (total <= 0)
        return;
    updateSplitterLimits();
    if (m_pendingPanel3Height == FirstStartHeight)
        m_pendingPanel3Height = total - Panel4->sizeHint().height();
    const int height = qBound(Panel3->minimumHeight(), m_pendingPanel3Height, qMax(Panel3->minimumHeight(),
                                                                                  total - Panel4->minimumHeight()));
    RxSplitter1->setSizes({height, total - height});
    m_pendingPanel3Height = -1;
}

void TMainForm::updateSplitterLimits()
{
    // The splitter stays at least 200 pixels below the top and 150 above the
    // bottom of the window's client area.
    const int splitterTop = RxSplitter1->mapTo(this, QPoint(0, 0)).y();
    const int below = height() - (splitterTop + RxSplitter1->height());
    Panel3->setMinimumHeight(qMax(m_panel3Minimum, 200 - splitterTop));
    Panel4->setMinimumHeight(qMax(m_panel4Minimum, 150 - below - RxSplitter1->handleWidth()));
}
