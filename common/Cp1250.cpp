#include "Cp1250.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

namespace cp1250 {
namespace {

// The windows-1250 converter of Qt (ICU). Converters keep state between calls,
// so each call gets a fresh one; making one is cheap next to the work.
QStringDecoder makeDecoder() { return QStringDecoder("windows-1250", QStringConverter::Flag::Stateless); }
QStringEncoder makeEncoder() { return QStringEncoder("windows-1250", QStringConverter::Flag::Stateless); }

} // namespace

QString decode(std::string_view bytes)
{
    auto decoder = makeDecoder();
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

QByteArray encodeBytes(QStringView text)
{
    auto encoder = makeEncoder();
    QByteArray bytes = encoder.encode(text);
    // The converter writes SUB (0x1A) for what the code page lacks; a plain
    // question mark is what a Windows program writes in that case. A real SUB
    // in the text stays as it was.
    if (bytes.contains('\x1a')) {
        // One byte per code point: walk both side by side.
        qsizetype i = 0;
        for (qsizetype k = 0; k < text.size() && i < bytes.size(); ++k, ++i) {
            if (text[k].isHighSurrogate() && k + 1 < text.size() && text[k + 1].isLowSurrogate())
                ++k;
            if (bytes[i] == '\x1a' && text[k].unicode() != 0x1a)
                bytes[i] = '?';
        }
    }
    return bytes;
}

std::string encode(QStringView text)
{
    const QByteArray bytes = encodeBytes(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QStringList decodeLines(const std::vector<std::string>& lines)
{
    QStringList result;
    result.reserve(qsizetype(lines.size()));
    auto decoder = makeDecoder();
    for (const std::string& line : lines)
        result.append(decoder.decode(QByteArrayView(line.data(), qsizetype(line.size()))));
    return result;
}

} // namespace cp1250

namespace western {

QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace western
