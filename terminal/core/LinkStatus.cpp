#include "terminal/core/LinkStatus.h"

QString LineText(const QString& device, const TEffectiveSettings& line)
{
    static const char parity[] = "NOEMS";
    static const char* const stop[] = {"1", "1.5", "2"};
    return QStringLiteral("%1 at %2 %3%4%5")
        .arg(device, QString::number(line.BaudRate), QString::number(line.DataBits),
             QString(QLatin1Char(parity[qBound(0, int(line.Parity), 4)])),
             QLatin1String(stop[qBound(0, int(line.StopBits), 2)]));
}

QString LinkStatusText(TLinkState state, const QStringList& deviations, const QString& line)
{
    switch (state) {
    case TLinkState::Connected: {
        QString text = QStringLiteral("Connected");
        if (!line.isEmpty())
            text += QStringLiteral(" to ") + line;
        if (!deviations.isEmpty())
            text += QStringLiteral(" (") + deviations.join(QStringLiteral("; ")) + QLatin1Char(')');
        return text;
    }
    case TLinkState::OpenFailed:
    case TLinkState::Lost:
        return QStringLiteral("Error: port is not available");
    case TLinkState::Disconnected:
        break;
    }
    return QStringLiteral("Disconnected");
}

QString LinkTitleText(TLinkState state)
{
    return state == TLinkState::Connected ? QStringLiteral("Terminal - Connected")
                                          : QStringLiteral("Terminal - Disconnected");
}
