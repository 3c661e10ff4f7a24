// The transmit panel's Send File (paced or not) and protocol transfers: the
// choice of file, folder and pacing; the transmitter does the sending.
#include "terminal/ui/TransmitPanel.h"

#include "terminal/ui/SendPacingDialog.h"
#include "terminal/Storage.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

QString TTransmitPanel::OpenDialogFilter()
{
#ifdef Q_OS_WIN
    const QString all = QStringLiteral("All files (*.*)");
#else
    const QString all = QStringLiteral("All files (*)");  // "*.*" would hide files without an extension
#endif
    return all + QStringLiteral(";;HEX file (*.hex);;BIN file (*.bin);;ASCII text file (*.txt)");
}

void TTransmitPanel::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Send File"), QString(), OpenDialogFilter());
    if (!path.isEmpty())
        sendFile(path);
}

void TTransmitPanel::sendFile(const QString& path)
{
    const QString failure = m_transmitter->sendFile(path);
    if (!failure.isEmpty())
        emit error(failure);
}

void TTransmitPanel::choosePacing()
{
    TSendPacingDialog dialog(m_transmitter->pacing(), this);
    if (dialog.exec() == QDialog::Accepted)
        setSendPacing(dialog.pacing());
}

void TTransmitPanel::setSendPacing(const TSendPacing& pacing)
{
    m_transmitter->setPacing(pacing);
    showPacing();
    const auto store = OpenUserStore();
    SaveSendPacing(*store, ProgramKey(), pacing);
}

void TTransmitPanel::showPacing()
{
    PacingBtn->setText(m_transmitter->pacing().paced() ? QStringLiteral("Paced...") : QStringLiteral("Pacing..."));
}

void TTransmitPanel::startTransfer(const TTransferRequest& request)
{
    if (m_transmitter->busy())
        return;
    if (m_transmitter->connected())
        m_transferFolder = request.Direction == TTransferDirection::Receive || request.Files.isEmpty()
                               ? request.Folder
                               : QFileInfo(request.Files.first()).absolutePath();
    const QString failure = m_transmitter->startTransfer(request);
    if (!failure.isEmpty())
        emit error(failure);
}

void TTransmitPanel::transferMenu()
{
    QMenu menu(this);
    const TProtocol sendable[] = {TProtocol::XmodemCrc, TProtocol::Xmodem1K, TProtocol::Ymodem, TProtocol::Zmodem};
    for (TProtocol p : sendable)
        menu.addAction(QStringLiteral("Send with %1...").arg(ProtocolName(p)), this, [this, p] {
            TTransferRequest r;
            r.Protocol = p;
            r.Direction = TTransferDirection::Send;
            const QString title = QStringLiteral("Send with %1").arg(ProtocolName(p));
            if (p == TProtocol::XmodemCrc || p == TProtocol::Xmodem1K) {
                const QString file = QFileDialog::getOpenFileName(this, title, m_transferFolder, OpenDialogFilter());
                if (!file.isEmpty())
                    r.Files = {file};
            } else {
                r.Files = QFileDialog::getOpenFileNames(this, title, m_transferFolder, OpenDialogFilter());
            }
            if (!r.Files.isEmpty())
                startTransfer(r);
        });
    menu.addSeparator();
    const TProtocol receivable[] = {TProtocol::XmodemChecksum, TProtocol::XmodemCrc, TProtocol::Ymodem,
                                    TProtocol::Zmodem};
    for (TProtocol p : receivable)
        menu.addAction(QStringLiteral("Receive with %1...").arg(ProtocolName(p)), this, [this, p] {
            TTransferRequest r;
            r.Protocol = p;
            r.Direction = TTransferDirection::Receive;
            r.KeepPartial = m_keepPartial;
            if (p == TProtocol::XmodemChecksum || p == TProtocol::XmodemCrc) {
                // XMODEM carries no name: the user gives the file.
                const QString file = QFileDialog::getSaveFileName(
                    this, QStringLiteral("Receive with %1").arg(ProtocolName(p)), m_transferFolder);
                if (file.isEmpty())
                    return;
                r.Folder = QFileInfo(file).absolutePath();
                r.XmodemName = QFileInfo(file).fileName();
            } else {
                r.Folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Receive into folder"), m_transferFolder);
                if (r.Folder.isEmpty())
                    return;
            }
            startTransfer(r);
        });
    menu.addAction(QStringLiteral("Resume with ZMODEM..."), this, [this] {
        TTransferRequest r;
        r.Protocol = TProtocol::Zmodem;
        r.Direction = TTransferDirection::Receive;
        r.Resume = true;
        r.KeepPartial = true;
        r.Folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Receive into folder"), m_transferFolder);
        if (!r.Folder.isEmpty())
            startTransfer(r);
    });
    QAction* keep = menu.addAction(QStringLiteral("Keep the part of a cut-off receive (NAME.part)"));
    keep->setCheckable(true);
    keep->setChecked(m_keepPartial);
    connect(keep, &QAction::toggled, this, [this](bool on) { m_keepPartial = on; });
    menu.exec(TransferBtn->mapToGlobal(QPoint(0, TransferBtn->height())));
}
