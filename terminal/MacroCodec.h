#pragma once
// Text conversions of the transmit side and the settings: the "#xxx" byte
// escapes of the macros, the window's integer conversion and its error text,
// and code page 1250 at the edge between bytes and the widgets.

#include <QByteArray>
#include <QString>

// The outcome of decoding one macro text.
struct TMacroDecoding {
    bool Ok = false;
    QByteArray Bytes;   // every decoded byte, zero bytes included
    QString BadText;    // when not Ok: the character that is not a digit ("" at the end of the text)
};

// Walks the macro: "#" and three decimal digits give the byte (value modulo
// 256); "#$", "#x" or "#0x" and two hexadecimal digits give the byte too
// (#$0D, #x0d, #0x0D); any other character stands for itself. A "#" not
// followed by one of these makes the whole macro invalid. Texts of any length
// are decoded.
TMacroDecoding DecodeMacro(const QByteArray& text);

// The inverse of DecodeMacro: printable characters stand for themselves,
// "#", controls and bytes above 126 become "#" and three decimal digits.
QByteArray EncodeMacro(const QByteArray& bytes);

// The longest macro text the macro rows send; longer ones are refused whole.
constexpr int MaxMacroLength = 1024;

// The copy of a sent macro shown in TxMemo: the bytes up to the first zero.
QByteArray MacroEcho(const QByteArray& bytes);

// "'%s' is not a valid integer value" with text in place of %s.
QString InvalidIntegerMessage(const QString& text);

// The window's string-to-integer conversion: leading blanks, an optional sign,
// decimal digits or hexadecimal after "$" or "0x". Anything else fails.
bool TextToInt(const QString& text, int* value);

// Code page 1250, one byte a character, used wherever bytes meet widgets.
QString FromCp1250(const QByteArray& bytes);
QByteArray ToCp1250(const QString& text);
// The character a byte shows as: controls become the Unicode control pictures
// where the font has them (pictures), else a middle dot.
QChar DisplayChar(quint8 byte, bool pictures);
// The bytes as DisplayChar shows them, one character a byte.
QString DisplayText(const QByteArray& bytes, bool pictures);

// The bytes a key press in the transmit box stands for: Enter 13, Backspace 8,
// Tab 9, Escape 27, Ctrl with a letter or one of @[\]^_ its control code,
// Ctrl+Enter 10 and Ctrl+Backspace 127 (the characters these combinations
// produce on Windows), and otherwise the typed text in code page 1250. Empty
// for keys that type nothing, Delete included.
QByteArray TypedBytes(int key, Qt::KeyboardModifiers modifiers, const QString& text);
