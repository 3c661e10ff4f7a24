// The help window writes its file back only when the text was changed, and
// the splash window shows the program file's date.

#include "ide/RtfCodec.h"
#include "ide/TextFiles.h"
#include "ide/helpu.h"
#include "ide/splashu.h"

#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void viewingLeavesTheFile();
    void editingRewritesTheFile();
    void missingFileStartsEmpty();
    void plainTextFileIsKept();
    void writeFailureIsReported();
    void splashShowsTheBuildDate();
    void escapeClosesHelp();

private:
    QString helpWith(const QString& text)
    {
        QTextDocument document;
        document.setPlainText(text);
        const QString path = m_dir->filePath("Zelvar.rtf");
        if (const QString error = writeFileBytes(path, writeRtf(&document)); !error.isEmpty())
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return path;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_errors;
};

void TestHelp::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_errors.clear();
    setErrorHandler([this](const QString& message) { m_errors << message; });
}

void TestHelp::cleanup()
{
    setErrorHandler(nullptr);
}

void TestHelp::viewingLeavesTheFile()
{
    const QString path = helpWith("SETBIT sets a bit.");
    const QByteArray before = readFileBytes(path).bytes;
    const QDateTime modified = QFileInfo(path).lastModified();
    THelp help(path);
    QVERIFY(help.RTF->toPlainText().contains("SETBIT sets a bit."));
    QVERIFY(!help.HelpChanged);
    help.show();
    help.RTF->moveCursor(QTextCursor::End);
    help.RTF->selectAll();
    help.FormDestroy();
    QCOMPARE(readFileBytes(path).bytes, before);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QVERIFY(m_errors.isEmpty());
}

void TestHelp::editingRewritesTheFile()
{
    const QString path = helpWith("Old text.");
    THelp help(path);
    help.RTF->moveCursor(QTextCursor::End);
    help.RTF->insertPlainText(" Added by the user: příliš.");
    QVERIFY(help.HelpChanged);
    help.FormDestroy();
    QTextDocument saved;
    QVERIFY(readRtf(readFileBytes(path).bytes, &saved));
    QVERIFY(saved.toPlainText().contains("Old text. Added by the user: příliš."));
    // A formatting change alone also counts.
    THelp again(path);
    QVERIFY(!again.HelpChanged);
    again.RTF->selectAll();
    again.RTF->setFontWeight(QFont::Bold);
    QVERIFY(again.HelpChanged);
}

void TestHelp::missingFileStartsEmpty()
{
    const QString path = m_dir->filePath("Zelvar.rtf");
    THelp help(path);
    QVERIFY(help.RTF->document()->isEmpty());
    help.FormDestroy();
    QVERIFY(!QFile::exists(path));
    THelp typed(path);
    typed.RTF->insertPlainText("New help");
    typed.FormDestroy();
    QVERIFY(QFile::exists(path));
    QVERIFY(m_errors.isEmpty());
}

void TestHelp::plainTextFileIsKept()
{
    const QString path = m_dir->filePath("Zelvar.rtf");
    QCOMPARE(writeFileBytes(path, "Plain notes\r\nsecond line\r\n"), QString());
    THelp help(path);
    QCOMPARE(help.RTF->toPlainText(), QStringLiteral("Plain notes\nsecond line"));
}

void TestHelp::writeFailureIsReported()
{
    const QString path = m_dir->filePath("missing/Zelvar.rtf");
    THelp help(path);
    help.RTF->insertPlainText("x");
    help.FormDestroy();
    QCOMPARE(m_errors, QStringList{QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(path) +
                                   "\nFolder does not exist"});
}

void TestHelp::splashShowsTheBuildDate()
{
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5, 7));
    const QLocale locale;
    QCOMPARE(TSplash::buildDateText(when),
             locale.toString(when.date(), QLocale::ShortFormat) + " " + locale.toString(when.time(), QLocale::LongFormat));
    TSplash splash(QString::fromUtf8(ZELVAR_RESOURCES) + "/splash.jpg");
    QCOMPARE(splash.Label2->text(),
             TSplash::buildDateText(QFileInfo(QCoreApplication::applicationFilePath()).lastModified()));
    QCOMPARE(splash.Title->text(), QStringLiteral("Zelvar"));
    QCOMPARE(splash.Version->text(), QStringLiteral("ver.3.1"));
    QCOMPARE(splash.size(), QSize(597, 450));
    if (QFile::exists(QString::fromUtf8(ZELVAR_RESOURCES) + "/splash.jpg"))
        QVERIFY(!splash.Image1->pixmap().isNull());
}

void TestHelp::escapeClosesHelp()
{
    THelp help(helpWith("text"));
    help.show();
    QVERIFY(QTest::qWaitForWindowActive(&help));
    help.RTF->setFocus();
    QTest::keyClick(help.RTF, Qt::Key_Escape);
    QVERIFY(help.isHidden());
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
