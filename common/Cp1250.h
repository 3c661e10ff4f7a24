#pragma once
// Code page 1250 at the edge of the windows: the compiler and the files hold
// code page 1250 bytes, the widgets hold Unicode text. The conversion is
// lossless in both directions for every byte value, including the five bytes
// the code page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98), which become
// the C1 control characters of the same value and go back unchanged.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

namespace cp1250 {

QString decode(std::string_view bytes);
inline QString decode(const QByteArray& bytes) { return decode(std::string_view(bytes.constData(), size_t(bytes.size()))); }
// A character the code page cannot show becomes '?'.
std::string encode(QStringView text);
QByteArray encodeBytes(QStringView text);

// Lines decoded one by one into a QStringList (for list widgets).
QStringList decodeLines(const std::vector<std::string>& lines);

} // namespace cp1250

// The Western character set (windows-1252) of the assemblers' listings.
namespace western {

QString decode(QByteArrayView bytes);

} // namespace western
