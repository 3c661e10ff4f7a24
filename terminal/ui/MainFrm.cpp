#include "terminal/ui/MainFrm.h"

#include "terminal/CompactTextView.h"
#include "terminal/ui/ConnectionPanel.h"
#include "terminal/ui/GripSplitter.h"
#include "terminal/MacroCodec.h"
#include "terminal/ui/PlotPane.h"
#include "terminal/ui/ReceivePanel.h"
#include "terminal/ui/SettingsBox.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/Storage.h"
#include "terminal/ui/StoredPlacement.h"
#include "terminal/ui/TransmitPanel.h"
#include "terminal/ui/UiText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent),
      m_connection(new TConnection(this)),
      m_pipeline(new TReceivePipeline(this)),
      m_transmitter(new TTransmitter(m_connection, this))
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

    // Until the user picks a size, the text boxes show the system's own.
    m_settings.FontSize = QString::number(systemFixedFont().pointSize());

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 0);
    column->setSpacing(4);
    m_connectionPanel = new TConnectionPanel(m_settings, m_connection, central);
    column->addWidget(m_connectionPanel);
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
    auto* receiveRow = new QHBoxLayout(Panel3);
    receiveRow->setContentsMargins(0, 0, 0, 0);
    receiveRow->setSpacing(4);
    m_settingsBox = new TSettingsBox(m_settings, Panel3);
    receiveRow->addWidget(m_settingsBox);
    m_receivePanel = new TReceivePanel(m_settings, m_pipeline, Panel3);
    receiveRow->addWidget(m_receivePanel, 1);
    auto* transmitRow = new QVBoxLayout(Panel4);
    transmitRow->setContentsMargins(0, 0, 0, 0);
    m_transmitPanel = new TTransmitPanel(m_settings, m_transmitter, Panel4);
    transmitRow->addWidget(m_transmitPanel);
    column->addWidget(RxSplitter1, 1);
    setCentralWidget(central);
    m_panel3Minimum = Panel3->minimumSizeHint().height();
    m_panel4Minimum = Panel4->minimumSizeHint().height();
    m_pendingPanel3Height = FirstStartHeight;  // until one is stored: all the transmit area leaves

    buildStatusBar();
    buildPlot();
    AboutFrm = new TAboutFrm(this);
    m_placement = std::make_unique<TStoredPlacement>(this);
    wireCore();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TMainForm::applicationStateChanged);
    settingsEdited();  // the defaults, until the stored settings are read
}

TMainForm::~TMainForm()
{
    StopLog();
    if (!m_saved)
        SaveStored(true);
    m_connection->driver()->OnReceiveData = nullptr;
}

void TMainForm::buildStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusText = new QLabel(LinkStatusText(TLinkState::Disconnected), m_statusBar);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    m_statusBar->addWidget(m_statusText);
    // Why a port failed, what a command could not do, how a send ended.
    m_statusDetail = new QLabel(m_statusBar);
    m_statusDetail->setObjectName(QStringLiteral("StatusDetail"));
    m_statusDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_statusDetail->setStyleSheet(QStringLiteral("QLabel { border-left: 1px solid palette(mid); padding-left: 6px; }"));
    m_statusBar->addWidget(m_statusDetail, 1);
    // Send File's progress, shown while a file is on its way.
    SendProgress = new QProgressBar(m_statusBar);
    SendProgress->setObjectName(QStringLiteral("SendProgress"));
    SendProgress->setFixedWidth(160);
    SendProgress->setRange(0, 1000);
    SendProgressText = new QLabel(m_statusBar);
    SendProgressText->setObjectName(QStringLiteral("SendProgressText"));
    SendCancelBtn = new QPushButton(QStringLiteral("Cancel"), m_statusBar);
    SendCancelBtn->setObjectName(QStringLiteral("SendCancelBtn"));
    SendCancelBtn->setToolTip(QStringLiteral("Stop sending the file"));
    ReconnectBtn = new QPushButton(QStringLiteral("Reconnect"), m_statusBar);
    ReconnectBtn->setObjectName(QStringLiteral("ReconnectBtn"));
    ReconnectBtn->setToolTip(QStringLiteral("The device is back: connect to it again"));
    ReconnectBtn->hide();
    m_statusBar->addWidget(ReconnectBtn);
    LogStatus = new QLabel(m_statusBar);
    LogStatus->setObjectName(QStringLiteral("LogStatus"));
    LogStatus->hide();
    m_statusBar->addPermanentWidget(LogStatus);
    m_statusBar->addPermanentWidget(SendProgressText);
    m_statusBar->addPermanentWidget(SendProgress);
    m_statusBar->addPermanentWidget(SendCancelBtn);
    for (QWidget* w : {static_cast<QWidget*>(SendProgressText), static_cast<QWidget*>(SendProgress),
                       static_cast<QWidget*>(SendCancelBtn)})
        w->hide();
    setStatusBar(m_statusBar);
}

void TMainForm::buildPlot()
{
    // The live plot, beside the boxes; it takes data only while shown.
    PlotDock = new QDockWidget(QStringLiteral("Plot"), this);
    PlotDock->setObjectName(QStringLiteral("PlotDock"));
    PlotDock->setWidget(new TPlotPane(&m_pipeline->plotData(), PlotDock));
    PlotDock->setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, PlotDock);
    PlotDock->hide();
    QPushButton* plotBtn = m_connectionPanel->PlotBtn;
    connect(plotBtn, &QPushButton::toggled, PlotDock, &QDockWidget::setVisible);
    connect(plotBtn, &QPushButton::toggled, m_pipeline, &TReceivePipeline::setPlotting);
    connect(PlotDock, &QDockWidget::visibilityChanged, this, [this, plotBtn](bool on) {
        if (!PlotDock->isHidden() != plotBtn->isChecked())
            plotBtn->setChecked(!PlotDock->isHidden());
        if (on)
            m_pipeline->setPlotting(plotBtn->isChecked());
    });
}

void TMainForm::wireCore()
{
    TSerialPortDriver* driver = m_connection->driver();
    driver->OnReceiveData = [this](TSerialPortDriver*, const char* data, int size) { m_pipeline->receive(data, size); };
    TProtocolTransfer* transfer = m_transmitter->transfer();
    TFileSender* sender = m_transmitter->fileSender();
    m_pipeline->TakeOver = [transfer](const char* data, int size) {
        if (!transfer->active())
            return false;
        transfer->received(data, size);
        return true;
    };
    m_pipeline->Watch = [sender](const char* data, int size) {
        if (sender->active())
            sender->received(data, size);
    };
    m_connection->Busy = [this] { return m_transmitter->busy(); };
    connect(m_pipeline, &TReceivePipeline::changed, this, [this] {
        m_receivePanel->refresh();
        if (m_pipeline->logFile().active())
            showLogState();
    });
    connect(m_pipeline, &TReceivePipeline::logFailed, this, &TMainForm::logFailed);
    connect(m_connection, &TConnection::stateChanged, this, &TMainForm::showState);
    connect(m_connection, &TConnection::detail, this, &TMainForm::setDetail);
    connect(m_connection, &TConnection::opened, m_transmitPanel, [this] { m_transmitPanel->TxMemo->setFocus(); });
    connect(m_connection, &TConnection::deviceReturned, ReconnectBtn, &QWidget::show);
    connect(m_connection, &TConnection::watchStopped, ReconnectBtn, &QWidget::hide);
    connect(ReconnectBtn, &QPushButton::clicked, m_connection, &TConnection::open);

    connect(m_connectionPanel->ConnectBtn, &QPushButton::clicked, m_connection, &TConnection::open);
    connect(m_connectionPanel->DisconnectBtn, &QPushButton::clicked, m_connection, &TConnection::close);
    connect(m_connectionPanel->Button1, &QPushButton::clicked, AboutFrm, &QDialog::exec);
    connect(m_connectionPanel->QuitBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(m_connectionPanel, &TConnectionPanel::edited, this, &TMainForm::settingsEdited);
    connect(m_connectionPanel, &TConnectionPanel::problem, this, [this](const QString& text) { setDetail(text, true); });
    connect(m_settingsBox, &TSettingsBox::edited, this, &TMainForm::settingsEdited);
    connect(m_settingsBox, &TSettingsBox::fontSizeEdited, this, &TMainForm::applyFontSize);
    connect(m_receivePanel, &TReceivePanel::edited, this, &TMainForm::settingsEdited);
    connect(m_receivePanel, &TReceivePanel::logClicked, this, &TMainForm::LogBtnClick);
    connect(m_transmitPanel, &TTransmitPanel::error, this, &TMainForm::showError);
    connect(m_transmitPanel, &TTransmitPanel::problem, this, [this](const QString& text) { setDetail(text, true); });
    connect(m_transmitPanel, &TTransmitPanel::detail, this, [this](const QString& text) { setDetail(text, false); });

    connect(m_transmitter, &TTransmitter::busyChanged, this, &TMainForm::setSending);
    connect(m_transmitter, &TTransmitter::sendFinished, this, &TMainForm::sendFinished);
    connect(m_transmitter, &TTransmitter::transferFinished, this, &TMainForm::transferFinished);
    connect(sender, &TFileSender::progress, this, [this, sender] {
        const qint64 total = sender->total();
        SendProgress->setValue(total > 0 ? int(sender->sent() * 1000 / total) : 0);
        SendProgressText->setText(ProgressText(sender->sent(), total, sender->rate(), sender->secondsLeft()));
    });
    connect(transfer, &TProtocolTransfer::progress, this, [this, transfer] {
        const qint64 total = transfer->total();
        SendProgress->setRange(0, total > 0 ? 1000 : 0);  // unknown size: a busy bar
        if (total > 0)
            SendProgress->setValue(int(std::min<qint64>(1000, transfer->done() * 1000 / total)));
        SendProgressText->setText(ProgressText(transfer->done(), -1, transfer->rate(), transfer->secondsLeft()));
    });
    connect(SendCancelBtn, &QPushButton::clicked, transfer, &TProtocolTransfer::cancel);
    connect(SendCancelBtn, &QPushButton::clicked, sender, &TFileSender::cancel);
}

void TMainForm::settingsEdited()
{
    m_connection->apply(m_settings);
    m_pipeline->apply(m_settings);
    m_transmitPanel->showSettings();
}

void TMainForm::showSettings()
{
    m_connectionPanel->showSettings();
    m_settingsBox->showSettings();
    m_receivePanel->showSettings();
    m_transmitPanel->showSettings();
    settingsEdited();
}

// ---------------------------------------------------------------------------
// The status bar

QString TMainForm::StatusText() const
{
    return m_statusText->text();
}

QString TMainForm::StatusDetail() const
{
    return m_statusDetail->text();
}

void TMainForm::showState(TLinkState state)
{
    const bool changed = state != m_shownState;
    m_shownState = state;
    m_statusText->setText(m_connection->statusText());
    m_connectionPanel->showState(state);
    m_transmitPanel->showModemLines();
    // Once the title tells the state, it follows every change of it.
    if (changed && m_applicationTitle != QString::fromLatin1(MainCaption))
        SetApplicationTitle(LinkTitleText(state));
}

void TMainForm::setDetail(const QString& text, bool alert)
{
    m_statusDetail->setText(text);
    if (alert)
        beep();
}

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

void TMainForm::SetApplicationTitle(const QString& title)
{
    // The main window's caption only: dialogs and error boxes keep theirs.
    m_applicationTitle = title;
    setWindowTitle(title);
}

void TMainForm::AppEventsActivate()
{
    m_connection->applicationActivated();
    SetApplicationTitle(LinkTitleText(m_connection->state()));
}

void TMainForm::AppEventsDeactivate()
{
    m_connection->applicationDeactivated();
    SetApplicationTitle(LinkTitleText(m_connection->state()));
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

void TMainForm::applyFontSize()
{
    const QString text = m_settings.FontSize;
    int size = 0;
    if (!TextToInt(text, &size)) {
        if (!text.isEmpty())  // an emptied box is still being typed in
            showError(InvalidIntegerMessage(text));
        return;
    }
    if (size < 1 || size > 200)
        return;
    for (QWidget* box : {static_cast<QWidget*>(m_receivePanel->RxMemo), static_cast<QWidget*>(m_transmitPanel->TxMemo)}) {
        QFont font = box->font();
        font.setPointSize(size);
        box->setFont(font);
    }
}
