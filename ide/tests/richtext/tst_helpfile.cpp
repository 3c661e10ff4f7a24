// The shipped help file: made from its source by the help generator, readable
// by the help window's reader, complete (every statement, menu and setting).
#include "ide/tests/richtext/HelpSource.h"
#include "ide/RtfCodec.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>


namespace {

using namespace helpsource;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QString kHelp = QStringLiteral(ZELVAR_RESOURCES "/Zelvar.rtf");

bool isCode(const QTextBlock& b)
{
    const QTextCharFormat f = b.begin().atEnd() ? b.charFormat() : b.begin().fragment().charFormat();
    return f.fontFixedPitch();
}

} // namespace

class TestHelpFile : public QObject {
    Q_OBJECT
private slots:
    void madeFromItsSource();
    void readAndWrittenUnchanged();
    void looksLikeAHelpFile();
    void everyStatementHasAnExample_data();
    void everyStatementHasAnExample();
    void everyTopicIsThere_data();
    void everyTopicIsThere();
};

void TestHelpFile::madeFromItsSource()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("Zelvar.rtf");
    QProcess make;
    make.start(QStringLiteral(ZELVAR_MAKEHELP), {QStringLiteral(ZELVAR_HELP_SOURCE), out});
    QVERIFY(make.waitForFinished(30000));
    QCOMPARE(make.exitCode(), 0);
    // When this fails, the help source was edited without regenerating the file:
    // build the target zelvar_regenerate_help.
    QVERIFY(readAll(out) == readAll(kHelp));
}

void TestHelpFile::readAndWrittenUnchanged()
{
    // What the help window saves after an edit that changed nothing is the shipped file.
    const QByteArray shipped = readAll(kHelp);
    QTextDocument doc;
    QVERIFY(readRtf(shipped, &doc));
    QVERIFY(writeRtf(&doc) == shipped);
}

void TestHelpFile::looksLikeAHelpFile()
{
    QTextDocument doc;
    QVERIFY(readRtf(readAll(kHelp), &doc));
    QVERIFY(doc.blockCount() > 300);

    const QTextBlock title = doc.begin();
    QCOMPARE(title.text(), QString("Zelvar 3.0 Help"));
    QCOMPARE(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextCharFormat titleFormat = title.begin().fragment().charFormat();
    QVERIFY(titleFormat.fontWeight() >= QFont::Bold);

    int headings = 0, code = 0;
    qreal body = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextCharFormat f = b.begin().atEnd() ? b.charFormat() : b.begin().fragment().charFormat();
        if (isCode(b)) {
            ++code;
            QCOMPARE(f.property(QTextFormat::FontFamilies).toStringList().value(0), QString("Courier New"));
        } else if (f.fontWeight() >= QFont::Bold && b.text().contains(QRegularExpression("^\\d+\\. "))) {
            ++headings;
            QVERIFY(f.fontPointSize() > 12);
        } else if (b.text().startsWith("Zelvar (")) {
            body = f.fontPointSize();
        }
    }
    QCOMPARE(headings, 18); // chapters 1 to 18 (the contents list is plain text)
    QVERIFY(code > 250);
    QVERIFY(body > 9 && body < 12);
    QVERIFY(titleFormat.fontPointSize() > body * 1.5);
}

void TestHelpFile::everyStatementHasAnExample_data()
{
    // Every statement of the language, as the first word of an example line.
    QTest::addColumn<QString>("pattern");
    const char* const keywords[] = {
        "PROCESOR", "BEGIN", "STARTPROC", "STARTADRESS", "EXTER0", "EXTER1", "TIMER0", "TIMER1", "SERIAL",
        "ENDINTERRUPT", "DEFINE", "DEFINEBIT", "NOP", "END", "PROCEDURE", "ENDPROC", "SKIP", "BLINK",
        "IFA=0", "IFA>0", "IFA=B", "IFA=", "IFA<B", "IFA<", "IFA>=B", "IFA>=", "IFA<>B", "IFA<>", "IFBIT",
        "IFNOTBIT", "IFCARY", "IFNOTCARY", "IF", "LOOPWHILEBIT", "LOOPWHILENOTBIT", "WHILEBIT", "WHILENOTBIT",
        "WHILEA=0", "WHILEA>0", "ENDWHILE", "JUMP", "NEXTLOOP", "DJNZ", "A", "B", "WRB", "RDB", "SWAPAB", "RDADR",
        "WRADR", "WRBADR", "WRADR@R0", "WRADR@R1", "RDADR@R0", "RDADR@R1", "WRP0", "RDP0", "WRP1", "RDP1",
        "WRP2", "RDP2", "WRP3", "RDP3", "WRMEM", "RDMEM", "PUSH", "POP", "DPTR", "INCDPTR", "WRRAM", "RDRAM",
        "+", "-", "A+1", "A-1", "B+1", "B-1", "*B", "/B", "DA", "A+C+", "A+C+B", "+ADR", "-ADR", "A+C+ADR", "+@R0",
        "+@R1", "-@R0", "-@R1", "INCADR", "DECADR", "AND", "OR", "XOR", "NOT", "SHIFTLEFT", "SHIFTRIGHT",
        "SHIFTLEFTCARY", "SHIFTRIGHTCARY", "SWAPNIBLES", "CLEAR_A", "CLEAR_C", "SETBIT", "CLEARBIT", "NOTBIT",
        "ASM:"};
    for (const char* k : keywords)
        QTest::newRow(k) << QRegularExpression::escape(k);
    QTest::newRow("COUNTn") << "COUNT[1-8]";
    QTest::newRow("WRCOUNTn") << "WRCOUNT[1-8]";
    QTest::newRow("RDCOUNTn") << "RDCOUNT[1-8]";
    QTest::newRow("LOOPn") << "LOOP[1-8]";
    QTest::newRow("WRBUFFERn") << "WRBUFFER[1-9]";
    QTest::newRow("buffer-load prefix") << "[1-9]@IFA.*";
    QTest::newRow("SFR read") << "RD(SP|DPL|DPH|PCON|TCON|TMOD|T2CON|TL0|TL1|TH0|TH1|SCON|SBUF|IE|IP|PSW)";
    QTest::newRow("SFR write") << "WR(SP|DPL|DPH|PCON|TCON|TMOD|T2CON|TL0|TL1|TH0|TH1|SCON|SBUF|IE|IP|PSW)";
    QTest::newRow("EXITPROC action") << "IF\\S* EXITPROC";
    QTest::newRow("INLINE action") << "\\S+ (\\S+ )?INLINE \\S.*";
    QTest::newRow("comment") << ".*;.*";
}

void TestHelpFile::everyStatementHasAnExample()
{
    QFETCH(QString, pattern);
    const QRegularExpression first(QStringLiteral("^(%1)( .*)?$").arg(pattern));
    QVERIFY(first.isValid());
    for (const Example& e : examples(helpSource()))
        for (const QString& line : e.m51)
            if (first.match(line).hasMatch())
                return;
    QFAIL("no example");
}

void TestHelpFile::everyTopicIsThere_data()
{
    QTest::addColumn<QString>("text");
    for (const char* t : {"New", "Open", "Save As", "Close File", "Close Zelvar", "Check", "Debug", "Macro",
                          "Setup", "Internal Setup", "Autosave in Debug Process", "Visibility", "Save setup",
                          "Compile ASM >> HEX", "AutoOpen", "Zelvar.INI", "compile.sh", "compile.bat", "compil.sh",
                          "compil.bat", "Running and debugging", "Shift+F11", "m51sim", "\"Filename\"", "'/home/me/my prog'.asm", "/bin/sh", "x-terminal-emulator -e",
                          "mcu8051ide --nocolor --quiet --no-sim --no-bin --compile", "srec_cat", "-Intel", "-Binary",
                          "8.3", "Insert to *.M51", "Save Macro", "Delete Macro", ".Mac", "Zadej jméno *.Mac",
                          "Přepsat existující soubor?", "Search", "Next", "PlaceNormPosL", "PlaceFlags", "Form1",
                          "Editor", "Asemb", "Sklad", "~/.config/Zelvar", "~/.local/share/Zelvar", "ERORR - binary value"})
        QTest::newRow(t) << QString::fromUtf8(t);
}

void TestHelpFile::everyTopicIsThere()
{
    QFETCH(QString, text);
    QTextDocument doc;
    QVERIFY(readRtf(readAll(kHelp), &doc));
    QVERIFY2(doc.toPlainText().contains(text), qPrintable(text));
}

QTEST_MAIN(TestHelpFile)
#include "tst_helpfile.moc"
