// Code page 1250 at the edge: every byte survives decoding and encoding, the
// text files keep their bytes through the text panes, and the file errors name
// the path.

#include "common/Cp1250.h"
#include "ide/TextFiles.h"
#include "ide/TextPane.h"

#include "ide/CodeEditor.h"
#include <QTemporaryDir>
#include <QtTest>

class TestCp1250 : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTrips();
    void undefinedBytesStayDistinct();
    void unencodableCharacters();
    void textFromFileBytes_data();
    void textFromFileBytes();
    void fileBytesFromText_data();
    void fileBytesFromText();
    void splitLines_data();
    void splitLines();
    void paneKeepsEveryByte();
    void fileErrorsNameThePath();
};

void TestCp1250::everyByteRoundTrips()
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = cp1250::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(cp1250::encode(text), all);
}

void TestCp1250::undefinedBytesStayDistinct()
{
    QSet<QChar> seen;
    for (unsigned char b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
        const QString c = cp1250::decode(std::string(1, char(b)));
        QCOMPARE(c.size(), 1);
        QVERIFY(c[0] != QChar(QChar::ReplacementCharacter));
        QVERIFY(!seen.contains(c[0]));
        seen.insert(c[0]);
    }
    QCOMPARE(cp1250::decode(std::string("\x8a\x9a\xe8")), QStringLiteral("Ššč"));
}

void TestCp1250::unencodableCharacters()
{
    QCOMPARE(cp1250::encode(QStringLiteral("a\u4e2db")), std::string("a?b"));
    QCOMPARE(cp1250::encode(QStringLiteral("a\U0001F600b")), std::string("a?b"));
    QCOMPARE(cp1250::encode(QStringLiteral("x\x1ay")), std::string("x\x1ay"));
    QCOMPARE(cp1250::encode(QStringLiteral("Příliš žluťoučký")), std::string("P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd"));
}

void TestCp1250::textFromFileBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\nb");
    QTest::newRow("LF") << QByteArray("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringLiteral("a\nb");
    QTest::newRow("mixed") << QByteArray("a\r\n\rb\n") << QStringLiteral("a\n\nb");
    QTest::newRow("empty lines kept") << QByteArray("\r\n\r\n") << QStringLiteral("\n");
    QTest::newRow("empty file") << QByteArray() << QString();
}

void TestCp1250::textFromFileBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(::textFromFileBytes(bytes), text);
}

void TestCp1250::fileBytesFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("two lines") << QStringLiteral("a\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty last line") << QStringLiteral("a\n") << QByteArray("a\r\n\r\n");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("Czech") << QStringLiteral("čá") << QByteArray("\xe8\xe1\r\n");
}

void TestCp1250::fileBytesFromText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::fileBytesFromText(text), bytes);
    // What is written reads back as the same text.
    QCOMPARE(::textFromFileBytes(bytes), text);
}

void TestCp1250::splitLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("final break adds nothing") << QByteArray("a\n") << QStringList{"a"};
    QTest::newRow("lone CR") << QByteArray("a\r\rb") << QStringList{"a", "", "b"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestCp1250::splitLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QStringList got;
    for (const std::string& line : ::splitLines(bytes))
        got << QString::fromStdString(line);
    QCOMPARE(got, lines);
}

void TestCp1250::paneKeepsEveryByte()
{
    // Every byte but the line ends, including the undefined ones, the
    // non-breaking space 0xA0 and tabs, on lines ended by CR LF.
    QByteArray file;
    for (int b = 1; b < 256; ++b) {
        if (b == '\r' || b == '\n')
            continue;
        file += char(b);
        if (b % 32 == 0)
            file += "\r\n";
    }
    file += "\r\n";
    QTemporaryDir dir;
    const QString in = dir.filePath("in.M51"), out = dir.filePath("out.M51");
    QCOMPARE(writeFileBytes(in, file), QString());
    CodeEditor pane;
    QCOMPARE(loadPaneFile(&pane, in), QString());
    QCOMPARE(savePaneFile(&pane, out), QString());
    QCOMPARE(readFileBytes(out).bytes, file);
    const std::vector<std::string> lines = paneLines(&pane);
    QCOMPARE(lines.size(), size_t(file.count("\r\n")));
    QCOMPARE(joinLinesCrLf(lines), file);
}

void TestCp1250::fileErrorsNameThePath()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("no/such.M51");
    const QString cannotOpen = QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(missing);
    const FileRead failed = readFileBytes(missing);
    QVERIFY(!failed.ok());
    QCOMPARE(failed.error, cannotOpen);
    QCOMPARE(writeFileBytes(missing, "x"), QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(missing) + "\nFolder does not exist");
    // A failed load leaves the pane as it was.
    CodeEditor pane;
    pane.setPlainText("kept");
    QCOMPARE(loadPaneFile(&pane, missing), cannotOpen);
    QCOMPARE(pane.toPlainText(), QStringLiteral("kept"));
}

QTEST_MAIN(TestCp1250)
#include "tst_cp1250.moc"
