#include "terminal/core/HexBytes.h"

namespace {

int digit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'\t' || c == u',';
}

THexBytes fault(int column, const QString& why)
{
    THexBytes result;
    result.Ok = false;
    result.Column = column;
    result.Error = why;
    return result;
}

} // namespace

THexBytes ParseHexBytes(const QString& text)
{
    THexBytes result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        qsizetype start = i;
        if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X'))
            start = i += 2;
        while (i < n && !isSeparator(text[i])) {
            if (digit(text[i]) < 0)
                return fault(int(i + 1), QStringLiteral("'%1' is not a hexadecimal digit").arg(text[i]));
            ++i;
        }
        const qsizetype length = i - start;
        if (length == 0)
            return fault(int(start + 1), QStringLiteral("0x without digits"));
        if (length == 1) {
            result.Bytes.append(char(digit(text[start])));
            continue;
        }
        if (length % 2 != 0)
            return fault(int(start + 1),
                         QStringLiteral("%1 digits do not make whole bytes; write pairs such as 0D 0A")
                             .arg(length));
        for (qsizetype k = start; k < i; k += 2)
            result.Bytes.append(char(digit(text[k]) * 16 + digit(text[k + 1])));
    }
    return result;
}
