#pragma once
// Small helpers the terminal's panels share: hints written with the
// platform's line breaks, and the fixed-pitch font of the text boxes.

#include <QFont>
#include <QString>

// Hints are written with the platform's line breaks; tooltips want "\n".
inline QString hint(const char* text)
{
    return QString::fromLatin1(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

inline QFont courier(int pointSize)
{
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(pointSize);
    return font;
}
