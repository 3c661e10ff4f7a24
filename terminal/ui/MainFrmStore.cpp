// The main window's log, the state while a send holds the port, the stored
// settings and placement, and the heights of the receive and transmit areas.
#include "terminal/ui/MainFrm.h"

#include "terminal/ui/ConnectionPanel.h"
#include "common/FileRead.h"
#include "terminal/core/FileSender.h"
#include "common/FileWriteQt.h"
#include "terminal/ui/ReceivePanel.h"
#include "common/ServedPorts.h"
#include "terminal/ui/SettingsBox.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/Storage.h"
#include "terminal/ui/StoredPlacement.h"
#include "terminal/ui/TransmitPanel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <limits>
#include <utility>

namespace {
QString windowStateGroup()
{
    return ProgramKey() + QStringLiteral("/WindowState");
}
}  // namespace

// ---------------------------------------------------------------------------
// Log to file

void TMainForm::LogBtnClick()
{
    if (m_pipeline->logFile().active()) {
        StopLog();
        return;
    }
    const QString rawFilter = QStringLiteral("Raw received bytes (*.log *.bin)");
    const QString textFilter = QStringLiteral("Received text as shown, with time stamps (*.txt)");
    QString filter = LogModeFromName(m_settings.LogMode) == TLogFile::Text ? textFilter : rawFilter;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Log to file"), m_settings.LogFile,
                                                      rawFilter + QStringLiteral(";;") + textFilter, &filter);
    if (path.isEmpty())
        return;
    StartLog(path, filter == textFilter ? TLogFile::Text : TLogFile::Raw);
}

bool TMainForm::StartLog(const QString& path, TLogFile::Mode mode)
{
    QString error;
    m_settings.LogMode = LogModeName(mode);
    m_settings.LogFile = path;
    // The log starts empty: never over the file being sent.
    const TFileSender* sender = m_transmitter->fileSender();
    if (sender->active() && m51::sameFile(m51::filePathBytes(path), m51::filePathBytes(sender->path()))) {
        setDetail(QStringLiteral("Cannot log to %1: it is the file being sent").arg(QDir::toNativeSeparators(path)), true);
        return false;
    }
    if (!m_pipeline->startLog(path, mode, &error)) {
        setDetail(QStringLiteral("Cannot log to %1: %2").arg(QDir::toNativeSeparators(path), error), true);
        return false;
    }
    showLogState();
    return true;
}

void TMainForm::StopLog()
{
    m_pipeline->stopLog();
    showLogState();
}

void TMainForm::logFailed(const QString& reason)
{
    // Never silent: the status bar keeps the reason, and the error box says
    // that what follows is no longer logged.
    const QString message = QStringLiteral("Log stopped: %1").arg(reason);
    setDetail(message, true);
    showLogState();
    showError(message + QStringLiteral("\nWhat arrives from now on is not written to %1.")
                            .arg(QDir::toNativeSeparators(m_pipeline->logFile().path())));
}

void TMainForm::showLogState()
{
    const TLogFile& log = m_pipeline->logFile();
    m_receivePanel->setLogActive(log.active());
    LogStatus->setVisible(log.active());
    if (log.active())
        LogStatus->setText(LogStateText(log.path(), log.size()));
}

// ---------------------------------------------------------------------------
// Sending

void TMainForm::setSending(bool on)
{
    m_transmitPanel->setSending(on);
    m_connectionPanel->setSending(on);
    for (QWidget* w : {static_cast<QWidget*>(SendProgressText), static_cast<QWidget*>(SendProgress),
                       static_cast<QWidget*>(SendCancelBtn)})
        w->setVisible(on);
    if (on)
        m_statusDetail->clear();
}

void TMainForm::sendFinished(const TFileSendResult& result)
{
    m_connection->sendEnded();
    const QString message = FileSendMessage(result);
    m_statusDetail->setText(message);
    if (result.End == TFileSendResult::Finished || result.End == TFileSendResult::Cancelled)
        return;
    beep();
    showError(message);
}

void TMainForm::transferFinished(const TTransferResult& result)
{
    SendProgress->setRange(0, 1000);
    const QString message = TransferMessage(result);
    m_statusDetail->setText(message);
    if (result.End == TTransferResult::Succeeded || result.End == TTransferResult::Cancelled)
        return;
    beep();
    showError(message);
}

// ---------------------------------------------------------------------------
// Stored settings, placement, layout

void TMainForm::RestoreStored()
{
    const auto store = OpenUserStore();
    const QString group = windowStateGroup();
    // The area heights apply only as stored: the height wins over the top.
    constexpr int none = std::numeric_limits<int>::min();
    m_settings.ReceiveTop = m_settings.ReceiveHeight = none;
    LoadTerminalSettings(*store, group, m_settings);
    if (m_settings.ReceiveTop != none)
        m_pendingPanel3Height = m_settings.ReceiveTop - RxSplitter1->mapTo(this, QPoint(0, 0)).y();
    if (m_settings.ReceiveHeight != none)
        m_pendingPanel3Height = m_settings.ReceiveHeight;
    showSettings();
    m_connectionPanel->mapServedPorts(m51::ListServedPorts());
    m_placement->restore(*store, group);
    m_transmitter->setPacing(LoadSendPacing(*store, ProgramKey()));
    m_transmitPanel->showPacing();
}

void TMainForm::SaveStored(bool destroying)
{
    if (!m_placement->restored())
        return;
    const auto store = OpenUserStore();
    const QString group = windowStateGroup();
    const int height = m_pendingPanel3Height != -1 && !isVisible() ? m_pendingPanel3Height : Panel3->height();
    m_settings.ReceiveTop = RxSplitter1->mapTo(this, QPoint(0, 0)).y() + height;
    m_settings.ReceiveHeight = height;
    m_settings.TransmitHeight = Panel4->height();
    SaveTerminalSettings(*store, group, m_settings);
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
        applyFontSize();
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
