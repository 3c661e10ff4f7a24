#include "terminal/core/StatusTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

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

QString PortLostText(const QString& device)
{
    return QStringLiteral("%1 went away (unplugged, or the other side closed)").arg(QDir::toNativeSeparators(device));
}

QString PortBackText(const QString& device)
{
    return QStringLiteral("%1 is back").arg(QDir::toNativeSeparators(device));
}

QString ModemLineFailedText(const QString& line, const QString& device)
{
    return QStringLiteral("%1 cannot be set on %2 (a pseudo-terminal, or a cable or adapter without the line)")
        .arg(line, QDir::toNativeSeparators(device));
}

QString NotABitRateText(const QString& text)
{
    return QStringLiteral("'%1' is not a bit rate").arg(text);
}

QString MacroTooLongText(int macro, int maxLength)
{
    return QStringLiteral("Macro %1 is longer than %2 characters; it will not be sent").arg(macro).arg(maxLength);
}

QString ProgressText(qint64 done, qint64 total, double rate, int secondsLeft)
{
    const QLocale locale;
    QString text = total >= 0 ? QStringLiteral("%1 of %2 bytes").arg(locale.toString(done), locale.toString(total))
                              : QStringLiteral("%1 bytes").arg(locale.toString(done));
    if (rate <= 0)
        return text;
    text += QStringLiteral(", %1 B/s").arg(locale.toString(qint64(rate)));
    if (secondsLeft >= 0)
        text += QStringLiteral(", %1:%2 left").arg(secondsLeft / 60).arg(secondsLeft % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString LogStateText(const QString& path, qint64 size)
{
    return QStringLiteral("Log: %1, %2").arg(QFileInfo(path).fileName(), QLocale().formattedDataSize(size));
}
