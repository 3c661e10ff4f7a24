#include "common/Cp1250.h"

#include "common/CodePage1250.h"

#include <QStringDecoder>
#include <QStringList>

namespace cp1250 {

// Through the one table of the code page (CodePage1250.h), which the
// language server shares.
QString decode(std::string_view bytes)
{
    QString text(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(ToUnicode(static_cast<unsigned char>(byte)));
    return text;
}

// A character the code page lacks becomes a plain question mark, as a
// Windows program writes it; a pair of surrogates is one character.
QByteArray encodeBytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text[k].isHighSurrogate() && k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
            bytes += '?';
            ++k;
            continue;
        }
        const int byte = FromUnicode(text[k].unicode());
        bytes += byte >= 0 ? char(byte) : '?';
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
    for (const std::string& line : lines)
        result.append(decode(line));
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
