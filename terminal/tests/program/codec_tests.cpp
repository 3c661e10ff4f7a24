// The terminal's text conversions: macro decoding, typed keys, integer texts
// and hexadecimal bytes.
#include "terminal/CompactTextView.h"
#include "terminal/core/HexBytes.h"
#include "terminal/MacroCodec.h"
#include "terminal/core/PlotData.h"
#include "terminal/core/ReceiveFind.h"
#include "terminal/ReceiveStore.h"
#include "terminal/tests/common/SourceLines.h"
#include "terminal/core/TerminalSettings.h"
#include "terminal/Storage.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>



class CodecTests : public QObject {
    Q_OBJECT
private slots:
    void decodeMacro_data();
    void decodeMacro();
    void typedBytes_data();
    void typedBytes();
    void textToInt_data();
    void textToInt();
    void hexBytes_data();
    void hexBytes();
};

void CodecTests::decodeMacro_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("bad");
    QTest::newRow("#065#066") << QByteArray("#065#066") << true << QByteArray("AB") << "";
    QTest::newRow("#000X") << QByteArray("#000X") << true << QByteArray("\0X", 2) << "";
    QTest::newRow("AT#013#010") << QByteArray("AT#013#010") << true << QByteArray("AT\r\n") << "";
    QTest::newRow("#999 wraps") << QByteArray("#999") << true << QByteArray("\xe7") << "";
    QTest::newRow("#256 is 0") << QByteArray("#256") << true << QByteArray("\0", 1) << "";
    QTest::newRow("#035 is a plain #") << QByteArray("#035#035") << true << QByteArray("##") << "";
    QTest::newRow("empty") << QByteArray() << true << QByteArray() << "";
    QTest::newRow("AB# cut short") << QByteArray("AB#") << false << QByteArray() << "";
    QTest::newRow("#1 cut short") << QByteArray("#1") << false << QByteArray() << "";
    QTest::newRow("letter") << QByteArray("#0A1") << false << QByteArray() << "A";
    QTest::newRow("blank") << QByteArray("x# 12") << false << QByteArray() << " ";
    QTest::newRow("no nesting") << QByteArray("##065") << false << QByteArray() << "#";
    QTest::newRow("hex escapes") << QByteArray("#$0Dx#x0a#0XfF#$41") << true << QByteArray("\rx\n\xff" "A") << "";
    QTest::newRow("$ and x stay text") << QByteArray("$GPGGA,0x1") << true << QByteArray("$GPGGA,0x1") << "";
    QTest::newRow("bad hex digit") << QByteArray("#$0G") << false << QByteArray() << "G";
    QTest::newRow("hex cut short") << QByteArray("#x1") << false << QByteArray() << "";
    QTest::newRow("#0x needs its digits") << QByteArray("#0x") << false << QByteArray() << "";
}

void CodecTests::decodeMacro()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, bad);
    const TMacroDecoding d = DecodeMacro(text);
    QCOMPARE(d.Ok, ok);
    if (ok)
        QCOMPARE(d.Bytes, bytes);
    else
        QCOMPARE(d.BadText, bad);
}

void CodecTests::typedBytes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << "a" << QByteArray("a");
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "\r" << QByteArray("\r");
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "\r" << QByteArray("\r");
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << "\b" << QByteArray("\b");
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "\r" << QByteArray("\n");
    QTest::newRow("Ctrl+Backspace") << int(Qt::Key_Backspace) << int(Qt::ControlModifier) << "\b"
                                    << QByteArray("\x7f");
    QTest::newRow("Delete types nothing") << int(Qt::Key_Delete) << 0 << "\x7f" << QByteArray();
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b" << QByteArray("\x1b");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << "" << QByteArray("\x03");
    QTest::newRow("Ctrl+[") << int(Qt::Key_BracketLeft) << int(Qt::ControlModifier) << "" << QByteArray("\x1b");
    QTest::newRow("Shift only") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << "" << QByteArray();
    QTest::newRow("arrow") << int(Qt::Key_Left) << 0 << "" << QByteArray();
    QTest::newRow("Alt mnemonic") << int(Qt::Key_C) << int(Qt::AltModifier) << "c" << QByteArray();
    QTest::newRow("Czech letter in 1250") << int(Qt::Key_unknown) << 0 << QString(QChar(0x0161))
                                          << QByteArray("\x9a");
}

void CodecTests::typedBytes()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TypedBytes(key, Qt::KeyboardModifiers(modifiers), text), bytes);
}

void CodecTests::textToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("8") << "8" << true << 8;
    QTest::newRow("leading blanks") << "  12" << true << 12;
    QTest::newRow("negative") << "-3" << true << -3;
    QTest::newRow("0x hex") << "0x1F" << true << 31;
    QTest::newRow("$ hex") << "$10" << true << 16;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("abc") << "abc" << false << 0;
    QTest::newRow("trailing junk") << "8pt" << false << 0;
    QTest::newRow("overflow") << "99999999999" << false << 0;
}

void CodecTests::textToInt()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int result = 0;
    QCOMPARE(TextToInt(text, &result), ok);
    if (ok)
        QCOMPARE(result, value);
    QCOMPARE(InvalidIntegerMessage(QStringLiteral("x")), QStringLiteral("'x' is not a valid integer value"));
}

void CodecTests::hexBytes_data()
{
    // The typed line, the bytes (hexadecimal) or "column: error word".
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bytes");
    QTest::newRow("pairs with blanks") << "0D 0A" << "0d0a";
    QTest::newRow("pairs run together") << "0D0A" << "0d0a";
    QTest::newRow("lower case, tabs, commas") << "ff,\t7e , 00" << "ff7e00";
    QTest::newRow("0x prefix") << "0x0D 0X0a0B" << "0d0a0b";
    QTest::newRow("single digits") << "d a 1" << "0d0a01";
    QTest::newRow("empty") << "   " << "";
    QTest::newRow("odd digits") << "0D 0A0" << "4: digits";
    QTest::newRow("not a digit") << "0D 0G" << "5: digit";
    QTest::newRow("a byte too big is three digits") << "100" << "1: digits";
    QTest::newRow("0x alone") << "01 0x" << "6: without";
}

void CodecTests::hexBytes()
{
    QFETCH(QString, text);
    QFETCH(QString, bytes);
    const THexBytes got = ParseHexBytes(text);
    if (!got.Ok) {
        const QStringList expected = bytes.split(QStringLiteral(": "));
        QCOMPARE(got.Column, expected[0].toInt());
        QVERIFY2(got.Error.contains(expected[1]), qPrintable(got.Error));
        return;
    }
    QCOMPARE(QString::fromLatin1(got.Bytes.toHex()), bytes);
}

QTEST_MAIN(CodecTests)
#include "codec_tests.moc"
