#pragma once
// Small helpers the terminal's panels share: hints written with the
// platform's line breaks, and the fixed-pitch fonts of the text boxes.

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QString>

// Hints are written with the platform's line breaks; tooltips want "\n".
inline QString hint(const char* text)
{
    return QString::fromLatin1(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// The system's fixed-width font at its normal size: received and typed text
// read as in the system's own terminal.
inline QFont systemFixedFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (font.pointSize() <= 0)  // given in pixels
        font.setPointSize(QFontInfo(font).pointSize());
    return font;
}

// The same font at another size (the narrow value columns).
inline QFont courier(int pointSize)
{
    QFont font = systemFixedFont();
    font.setPointSize(pointSize);
    return font;
}
