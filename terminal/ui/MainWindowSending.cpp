// The main window's Send File (paced or not) and protocol transfers: the
// choice of file and folder, progress in the status bar and the outcome.
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

QString TMainForm::OpenDialogFilter()
{
#ifdef Q_OS_WIN
    const QString all = QStringLiteral("All files (*.*)");
#else
    const QString all = QStringLiteral("All files (*)");  // "*.*" would hide files without an extension
#endif
    return all + QStringLiteral(";;HEX file (*.hex);;BIN file (*.bin);;ASCII text file (*.txt)");
}

void TMainForm::SendFileBtnClick()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Send File"), QString(), OpenDialogFilter());
    if (!path.isEmpty())
        SendFile(path);
}

void TMainForm::PacingBtnClick()
{
    TSendPacingDialog dialog(m_sender->pacing(), this);
    if (dialog.exec() == QDialog::Accepted)
        SetSendPacing(dialog.pacing());
}

void TMainForm::SetSendPacing(const TSendPacing& pacing)
{
    m_sender->setPacing(pacing);
    const bool paced = pacing.paced();
    PacingBtn->setText(paced ? QStringLiteral("Paced...") : QStringLiteral("Pacing..."));
    const auto store = OpenUserStore();
    SaveSendPacing(*store, ProgramKey(), pacing);
}

void TMainForm::SendFile(const QString& path)
{
    if (IsSending())
        return;
    if (!SerialPortDriver->Connected()) {
        // Nothing can go out: the file is only read through, so that a file
        // that cannot be read is still reported.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            showError(file.errorString());
            return;
        }
        QByteArray block(65536, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = file.read(block.data(), block.size())) > 0) {
        }
        if (n < 0)
            showError(file.errorString());
        return;
    }
    QString error;
    if (!m_sender->start(path, &error)) {
        showError(error);
        return;
    }
    setSending(true);
}

bool TMainForm::IsSending() const
{
    return m_sender->active() || m_transfer->active();
}

void TMainForm::TransferBtnClick()
{
    QMenu menu(this);
    const TProtocol sendable[] = {TProtocol::XmodemCrc, TProtocol::Xmodem1K, TProtocol::Ymodem, TProtocol::Zmodem};
    for (TProtocol p : sendable)
        menu.addAction(QStringLiteral("Send with %1...").arg(ProtocolName(p)), this, [this, p] {
            TTransferRequest r;
            r.Protocol = p;
            r.Direction = TTransferDirection::Send;
            if (p == TProtocol::XmodemCrc || p == TProtocol::Xmodem1K) {
                const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Send with %1").arg(ProtocolName(p)),
                                                                  m_transferFolder, OpenDialogFilter());
                if (!file.isEmpty())
                    r.Files = {file};
            } else {
                r.Files = QFileDialog::getOpenFileNames(this, QStringLiteral("Send with %1").arg(ProtocolName(p)),
                                                        m_transferFolder, OpenDialogFilter());
            }
            if (!r.Files.isEmpty())
                StartTransfer(r);
        });
    menu.addSeparator();
    const TProtocol receivable[] = {TProtocol::XmodemChecksum, TProtocol::XmodemCrc, TProtocol::Ymodem,
                                    TProtocol::Zmodem};
    for (TProtocol p : receivable)
        menu.addAction(QStringLiteral("Receive with %1...").arg(ProtocolName(p)), this, [this, p] {
            TTransferRequest r;
            r.Protocol = p;
            r.Direction = TTransferDirection::Receive;
            if (p == TProtocol::XmodemChecksum || p == TProtocol::XmodemCrc) {
                // XMODEM carries no name: the user gives the file.
                const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Receive with %1").arg(ProtocolName(p)),
                                                                  m_transferFolder);
                if (file.isEmpty())
                    return;
                r.Folder = QFileInfo(file).absolutePath();
                r.XmodemName = QFileInfo(file).fileName();
            } else {
                r.Folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Receive into folder"), m_transferFolder);
                if (r.Folder.isEmpty())
                    return;
            }
            StartTransfer(r);
        });
    menu.addAction(QStringLiteral("Resume with ZMODEM..."), this, [this] {
        TTransferRequest r;
        r.Protocol = TProtocol::Zmodem;
        r.Direction = TTransferDirection::Receive;
        r.Resume = true;
        r.Folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Receive into folder"), m_transferFolder);
        if (!r.Folder.isEmpty())
            StartTransfer(r);
    });
    menu.exec(TransferBtn->mapToGlobal(QPoint(0, TransferBtn->height())));
}

void TMainForm::StartTransfer(const TTransferRequest& request)
{
    if (IsSending())
        return;
    if (!SerialPortDriver->Connected()) {
        showError(QStringLiteral("Connect first: a transfer needs an open port"));
        return;
    }
    m_transferFolder = request.Direction == TTransferDirection::Receive || request.Files.isEmpty()
                           ? request.Folder
                           : QFileInfo(request.Files.first()).absolutePath();
    setSending(true);
    m_transfer->start(request);
}

void TMainForm::showTransferProgress()
{
    const qint64 total = m_transfer->total();
    const qint64 done = m_transfer->done();
    SendProgress->setRange(0, total > 0 ? 1000 : 0);  // unknown size: a busy bar
    if (total > 0)
        SendProgress->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
    QString text = QStringLiteral("%1 bytes").arg(QLocale().toString(done));
    const double rate = m_transfer->rate();
    if (rate > 0) {
        text += QStringLiteral(", %1 B/s").arg(QLocale().toString(qint64(rate)));
        const int left = m_transfer->secondsLeft();
        if (left >= 0)
            text += QStringLiteral(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    SendProgressText->setText(text);
}

void TMainForm::transferFinished(const TTransferResult& result)
{
    setSending(false);
    SendProgress->setRange(0, 1000);
    const QString message = TransferMessage(result);
    m_statusDetail->setText(message);
    if (result.End == TTransferResult::Succeeded || result.End == TTransferResult::Cancelled)
        return;
    beep();
    showError(message);
}

void TMainForm::setSending(bool on)
{
    // Typed keys and macros would mix into the file's bytes: they wait.
    for (QWidget* w : {static_cast<QWidget*>(SendFileBtn), static_cast<QWidget*>(PacingBtn), static_cast<QWidget*>(TransferBtn), static_cast<QWidget*>(bMacro1),
                       static_cast<QWidget*>(bMacro2), static_cast<QWidget*>(bMacro3)})
        w->setEnabled(!on);
    TxMemo->setReadOnly(on);
    // New line settings purge the output queue: they wait too.
    for (QWidget* w : {static_cast<QWidget*>(ComPortRG), static_cast<QWidget*>(BaudRateRG),
                       static_cast<QWidget*>(DataBitsRG), static_cast<QWidget*>(ParityRG),
                       static_cast<QWidget*>(StopBitsRG), static_cast<QWidget*>(HandshakingRG)})
        w->setEnabled(!on);
    for (QWidget* w : {static_cast<QWidget*>(SendProgressText), static_cast<QWidget*>(SendProgress),
                       static_cast<QWidget*>(SendCancelBtn)})
        w->setVisible(on);
    if (on)
        m_statusDetail->clear();
}

void TMainForm::showSendProgress()
{
    const qint64 total = m_sender->total();
    const qint64 sent = m_sender->sent();
    SendProgress->setValue(total > 0 ? int(sent * 1000 / total) : 0);
    QString text = QStringLiteral("%1 of %2 bytes").arg(QLocale().toString(sent), QLocale().toString(total));
    const double rate = m_sender->rate();
    if (rate > 0) {
        text += QStringLiteral(", %1 B/s").arg(QLocale().toString(qint64(rate)));
        const int left = m_sender->secondsLeft();
        if (left >= 0)
            text += QStringLiteral(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    SendProgressText->setText(text);
}

void TMainForm::sendFinished(const TFileSendResult& result)
{
    setSending(false);
    if (std::exchange(m_disconnectAfterSend, false) && cbAuto->isChecked())
        DisconnectBtnClick();
    const QString message = FileSendMessage(result);
    m_statusDetail->setText(message);
    if (result.End == TFileSendResult::Finished || result.End == TFileSendResult::Cancelled)
        return;
    beep();
    showError(message);
}
