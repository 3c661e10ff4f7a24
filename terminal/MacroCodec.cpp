#include "terminal/MacroCodec.h"

#include "common/Cp1250.h"
#include "common/PlainText.h"

#include <array>
#include <limits>

TMacroDecoding DecodeMacro(const QByteArray& text)
{
    TMacroDecoding result;
    result.Bytes.reserve(text.size());
    const qsizetype n = text.size();
    // The escape's digits: three decimal ones after "#", or two hexadecimal
    // ones after "#$", "#x" or "#0x".
    auto digits = [&](qsizetype from, int count, int base, int& value) {
        value = 0;
        for (int k = 0; k < count; ++k) {
            if (from + k >= n) {
                result.BadText.clear();
                return false;
            }
            const char c = text[from + k];
            const int d = base == 16 ? m51::HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (d < 0) {
                result.BadText = FromCp1250(QByteArray(1, c));
                return false;
            }
            value = value * base + d;
        }
        return true;
    };
    for (qsizetype i = 0; i < n;) {
        if (text[i] != '#') {
            result.Bytes.append(text[i]);
            ++i;
            continue;
        }
        const char next = i + 1 < n ? text[i + 1] : '\0';
        qsizetype hexFrom = -1;
        if (next == '$' || next == 'x' || next == 'X')
            hexFrom = i + 2;
        else if (next == '0' && i + 2 < n && (text[i + 2] == 'x' || text[i + 2] == 'X'))
            hexFrom = i + 3;
        int value = 0;
        if (hexFrom >= 0) {
            if (!digits(hexFrom, 2, 16, value))
                return result;
            result.Bytes.append(char(value));
            i = hexFrom + 2;
            continue;
        }
        if (!digits(i + 1, 3, 10, value))
            return result;
        result.Bytes.append(char(value % 256));
        i += 4;
    }
    result.Ok = true;
    return result;
}

QByteArray MacroEcho(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

QString InvalidIntegerMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

bool TextToInt(const QString& text, int* value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == QLatin1Char('0')
               && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        const int digit = text[i].isDigit() && text[i].unicode() < 128
                              ? text[i].unicode() - '0'
                              : base == 16 && text[i].toLower() >= QLatin1Char('a') && text[i].toLower() <= QLatin1Char('f')
                                    ? text[i].toLower().unicode() - 'a' + 10
                                    : -1;
        if (digit < 0)
            return false;
        result = result * base + digit;
        if (result > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return false;
    if (value)
        *value = int(result);
    return true;
}

namespace {
// Every byte's character, for decoding received data one byte at a time.
const std::array<QChar, 256>& cp1250Table()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            const QString s = cp1250::decode(std::string_view(&c, 1));
            t[size_t(b)] = s.size() == 1 ? s[0] : QChar(QChar::ReplacementCharacter);
        }
        return t;
    }();
    return table;
}
}  // namespace

QString FromCp1250(const QByteArray& bytes)
{
    const auto& table = cp1250Table();
    QString result(bytes.size(), Qt::Uninitialized);
    QChar* out = result.data();
    for (const char c : bytes)
        *out++ = table[quint8(c)];
    return result;
}

QByteArray ToCp1250(const QString& text)
{
    return cp1250::encodeBytes(text);
}

QChar DisplayChar(quint8 byte, bool pictures)
{
    if (byte < 32)
        return pictures ? QChar(0x2400 + byte) : QChar(0x00B7);
    if (byte == 127)
        return pictures ? QChar(0x2421) : QChar(0x00B7);
    return cp1250Table()[byte];
}

QString DisplayText(const QByteArray& bytes, bool pictures)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes)
        *out++ = DisplayChar(quint8(c), pictures);
    return text;
}

QByteArray TypedBytes(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray(1, (modifiers & Qt::ControlModifier) ? 10 : 13);
    case Qt::Key_Backspace:
        return QByteArray(1, (modifiers & Qt::ControlModifier) ? 127 : 8);
    case Qt::Key_Delete:  // edits the box only; some platforms give it the text DEL
        return {};
    case Qt::Key_Tab:
        return QByteArray(1, 9);
    case Qt::Key_Escape:
        return QByteArray(1, 27);
    default:
        break;
    }
    if (modifiers & Qt::AltModifier)
        return {};
    if (modifiers & Qt::ControlModifier) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return QByteArray(1, char(key - Qt::Key_A + 1));
        switch (key) {
        case Qt::Key_At:
            return QByteArray(1, 0);
        case Qt::Key_BracketLeft:
            return QByteArray(1, 27);
        case Qt::Key_Backslash:
            return QByteArray(1, 28);
        case Qt::Key_BracketRight:
            return QByteArray(1, 29);
        case Qt::Key_AsciiCircum:
            return QByteArray(1, 30);
        case Qt::Key_Underscore:
            return QByteArray(1, 31);
        default:
            break;
        }
        if (text.size() == 1 && text[0].unicode() < 32)
            return ToCp1250(text);
        return {};
    }
    return text.isEmpty() ? QByteArray() : ToCp1250(text);
}

QByteArray EncodeMacro(const QByteArray& bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (b >= 32 && b < 127 && b != '#')
            out.append(c);
        else
            out.append('#').append(QByteArray::number(b).rightJustified(3, '0'));
    }
    return out;
}
