// The source document: line ends kept through open and save, new files in
// CR LF, the modified flag, a failed save, and changes on disk noticed.

#include "ide/SourceDocument.h"
#include "ide/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestSourceDocument : public QObject {
    Q_OBJECT
private slots:
    void lineEndsKept_data();
    void lineEndsKept();
    void newFileIsCrLf();
    void modifiedAndFailedSave();
    void changesOnDiskNoticed();
};

void TestSourceDocument::lineEndsKept_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << QByteArray("A 1\r\nB\r\n") << "A 1\nB";
    QTest::newRow("LF") << QByteArray("A 1\nB\n") << "A 1\nB";
    QTest::newRow("CR") << QByteArray("A 1\rB\r") << "A 1\nB";
    QTest::newRow("no final line end") << QByteArray("A 1\nB") << "A 1\nB";
    QTest::newRow("one line, none") << QByteArray("NOP") << "NOP";
    QTest::newRow("code page 1250") << QByteArray("; \x9a\xe8\n") << QString::fromUtf8("; šč");
}

void TestSourceDocument::lineEndsKept()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.M51");
    QCOMPARE(writeFileBytes(path, file), QString());
    SourceDocument document;
    QCOMPARE(document.open(path).text, text);
    QCOMPARE(document.path(), path);
    QVERIFY(!document.isModified());
    // Saved unchanged, the file is byte for byte what it was; an added line
    // gets the file's own line end.
    QCOMPARE(document.save(path, text), QString());
    QCOMPARE(readFileBytes(path).bytes, file);
    QCOMPARE(document.save(path, text + "\nC"), QString());
    const SourceDocument::Decoded again = SourceDocument::decode(readFileBytes(path).bytes);
    QCOMPARE(again.lineEnds, SourceDocument::decode(file).lineEnds);
    QCOMPARE(again.text, text + "\nC");
}

void TestSourceDocument::newFileIsCrLf()
{
    QTemporaryDir dir;
    SourceDocument document;
    QSignalSpy path(&document, &SourceDocument::pathChanged);
    QCOMPARE(document.save(dir.filePath("new.M51"), "A\nB"), QString());
    QCOMPARE(readFileBytes(dir.filePath("new.M51")).bytes, QByteArray("A\r\nB\r\n"));
    QCOMPARE(path.size(), 1);
    // After an LF file, a new text is CR LF again.
    QCOMPARE(writeFileBytes(dir.filePath("lf.M51"), "X\n"), QString());
    QCOMPARE(document.open(dir.filePath("lf.M51")).error, QString());
    document.reset();
    QVERIFY(document.path().isEmpty());
    QCOMPARE(document.save(dir.filePath("again.M51"), "Y"), QString());
    QCOMPARE(readFileBytes(dir.filePath("again.M51")).bytes, QByteArray("Y\r\n"));
    QCOMPARE(SourceDocument::encode(QString(), SourceDocument::LineEnds::Lf, true), QByteArray());
}

void TestSourceDocument::modifiedAndFailedSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.M51");
    QCOMPARE(writeFileBytes(path, "A\n"), QString());
    SourceDocument document;
    QCOMPARE(document.open(path).error, QString());
    QSignalSpy modified(&document, &SourceDocument::modifiedChanged);
    document.setModified(true);
    document.setModified(true);
    QCOMPARE(modified.size(), 1);
    // A save that fails leaves the document modified and on its file.
    QVERIFY(document.save(dir.filePath("no/such/dir/p.M51"), "B").startsWith("Cannot create file "));
    QVERIFY(document.isModified());
    QCOMPARE(document.path(), path);
    // An unreadable file changes nothing.
    QCOMPARE(document.open(dir.filePath("missing.M51")).error,
             QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(dir.filePath("missing.M51")));
    QCOMPARE(document.path(), path);
    QCOMPARE(document.save(path, "B"), QString());
    QVERIFY(!document.isModified());
}

void TestSourceDocument::changesOnDiskNoticed()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.M51");
    QCOMPARE(writeFileBytes(path, "A\r\n"), QString());
    SourceDocument document;
    QCOMPARE(document.open(path).error, QString());
    QSignalSpy changed(&document, &SourceDocument::changedOnDisk);
    // The document's own saves are no change.
    QCOMPARE(document.save(path, "B"), QString());
    QTest::qWait(200);
    QCOMPARE(changed.size(), 0);
    // Another program replaces the file (as editors save), then writes it in place.
    QCOMPARE(writeFileBytes(path, "C\r\n"), QString());
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(document.reload().text, QStringLiteral("C"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("D\r\n");
    file.close();
    QTRY_COMPARE(changed.size(), 2);
    QCOMPARE(document.reload().text, QStringLiteral("D"));
    // Removed: told once.
    QFile::remove(path);
    QTRY_COMPARE(changed.size(), 3);
    QTest::qWait(100);
    QCOMPARE(changed.size(), 3);
}

QTEST_MAIN(TestSourceDocument)
#include "tst_sourcedocument.moc"
