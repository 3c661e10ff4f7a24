#include "LinkStatus.h"

QString LinkStatusText(TLinkState state, const QStringList& deviations)
{
    switch (state) {
    case TLinkState::Connected:
        if (deviations.isEmpty())
            return QStringLiteral("Connected");
        return QStringLiteral("Connected (") + deviations.join(QStringLiteral("; ")) + QLatin1Char(')');
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
