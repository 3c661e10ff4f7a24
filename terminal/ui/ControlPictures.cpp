#include "terminal/ui/ControlPictures.h"

#include <QChar>
#include <QFontMetrics>

bool HasControlPictures(const QFont& font)
{
    const QFontMetrics metrics(font);
    return metrics.inFont(QChar(0x2400)) && metrics.inFont(QChar(0x240D)) && metrics.inFont(QChar(0x241B));
}
