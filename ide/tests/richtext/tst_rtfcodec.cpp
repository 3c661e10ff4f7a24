// The help file's RTF reader and writer: round trips of text and formatting,
// files as other editors write them, and input that is not well formed.
#include "ide/RtfCodec.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {

struct Run {
    QString text;
    bool bold = false, italic = false, underline = false;
    qreal size = 12;
    QString family = QStringLiteral("Arial");
    QColor color;
};
struct Para {
    Qt::Alignment alignment = Qt::AlignLeft;
    QList<Run> runs;
};

} // namespace
Q_DECLARE_METATYPE(Para)
namespace {

void build(QTextDocument& doc, const QList<Para>& paras)
{
    doc.clear();
    QTextCursor c(&doc);
    for (int p = 0; p < paras.size(); ++p) {
        QTextBlockFormat bf;
        bf.setAlignment(paras[p].alignment);
        if (p == 0)
            c.setBlockFormat(bf);
        else
            c.insertBlock(bf);
        for (const Run& r : paras[p].runs) {
            QTextCharFormat f;
            f.setFontWeight(r.bold ? QFont::Bold : QFont::Normal);
            f.setFontItalic(r.italic);
            f.setFontUnderline(r.underline);
            f.setFontPointSize(r.size);
            f.setFontFamilies({r.family});
            if (r.color.isValid())
                f.setForeground(r.color);
            c.insertText(r.text, f);
        }
    }
}

// Every block with its alignment and every run with the formatting the help window shows.
QString describe(const QTextDocument& doc)
{
    QString out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const Qt::Alignment a = b.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        out += QStringLiteral("[%1]").arg(a == Qt::AlignHCenter ? "C" : a == Qt::AlignRight ? "R"
                                          : a == Qt::AlignJustify ? "J" : "L");
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString color =
                f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString("auto");
            out += '{';
            out += f.fontWeight() >= QFont::DemiBold ? 'b' : '-';
            out += f.fontItalic() ? 'i' : '-';
            out += f.fontUnderline() ? 'u' : '-';
            out += QStringLiteral(" %1 %2 %3}").arg(f.fontPointSize()).arg(
                f.property(QTextFormat::FontFamilies).toStringList().value(0), color);
            out += it.fragment().text();
        }
        out += '\n';
    }
    return out;
}

QString viaRtf(const QTextDocument& doc, QByteArray* rtf = nullptr)
{
    const QByteArray bytes = writeRtf(&doc);
    if (rtf)
        *rtf = bytes;
    QTextDocument back;
    if (!readRtf(bytes, &back))
        return QStringLiteral("<not read>");
    return describe(back);
}

// The blocks' raw text (line separators and no-break spaces as they are), one line each.
QString rawText(const QTextDocument& doc)
{
    QStringList lines;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines.join('\n');
}

QString plain(const QByteArray& rtf)
{
    QTextDocument doc;
    if (!readRtf(rtf, &doc))
        return QStringLiteral("<not read>");
    return rawText(doc);
}

} // namespace

class TestRtfCodec : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void writerEscapes_data();
    void writerEscapes();
    void emptyParagraphsKeepTheirPlace();
    void wordPadFile();
    void codePages_data();
    void codePages();
    void unicodeAndSkipCounts_data();
    void unicodeAndSkipCounts();
    void skippedDestinations_data();
    void skippedDestinations();
    void notRtfLeavesDocument();
    void malformedInput_data();
    void malformedInput();
    void randomBytes();
    void contentWithoutRtfForm();
};

void TestRtfCodec::roundTrip_data()
{
    QTest::addColumn<QList<Para>>("paras");
    auto run = [](QString t) { Run r; r.text = t; return r; };
    Run bold = run("bold"); bold.bold = true;
    Run italic = run("italic"); italic.italic = true;
    Run under = run("under"); under.underline = true;
    Run all = run("all three"); all.bold = all.italic = all.underline = true;
    Run big = run("Heading"); big.size = 18; big.bold = true;
    Run small = run("small print"); small.size = 8.5;
    Run mono = run("MOV A,#5"); mono.family = "Courier New";
    Run red = run("red"); red.color = QColor(255, 0, 0);
    Run navy = run("navy"); navy.color = QColor(0, 0, 128);
    Run red2 = run(" red again"); red2.color = QColor(255, 0, 0);

    QTest::newRow("plain text") << QList<Para>{{Qt::AlignLeft, {run("Hello, turtle.")}}};
    QTest::newRow("paragraphs") << QList<Para>{{Qt::AlignLeft, {run("one")}}, {Qt::AlignLeft, {run("two")}},
                                               {Qt::AlignLeft, {run("three")}}};
    QTest::newRow("formatting") << QList<Para>{{Qt::AlignLeft, {run("plain "), bold, run(" "), italic, run(" "),
                                                                under, run(" "), all, run(" end")}}};
    QTest::newRow("czech") << QList<Para>{{Qt::AlignLeft, {run(QString::fromUtf8(
                                              "Příliš žluťoučký kůň úpěl ďábelské ódy. ŘŠČŽÝÁÍÉÚŮĎŤŇ"))}}};
    QTest::newRow("outside 1250") << QList<Para>{{Qt::AlignLeft, {run(QString::fromUtf8("Ω ≠ € — 😀 ©"))}}};
    QTest::newRow("specials") << QList<Para>{{Qt::AlignLeft,
                                              {run(QString::fromUtf8("a\\b {c} d\te") + QChar(0x2028) + "f"
                                                   + QChar(0x00A0) + "g;h")}}};
    QTest::newRow("alignment") << QList<Para>{{Qt::AlignLeft, {run("left")}}, {Qt::AlignHCenter, {run("centre")}},
                                              {Qt::AlignRight, {run("right")}}, {Qt::AlignJustify, {run("justified")}}};
    QTest::newRow("colours") << QList<Para>{{Qt::AlignLeft, {red, run(" auto "), navy, red2}}};
    QTest::newRow("sizes and fonts") << QList<Para>{{Qt::AlignHCenter, {big}}, {Qt::AlignLeft, {small, run(" "), mono}}};
    QTest::newRow("leading blanks") << QList<Para>{{Qt::AlignLeft, {bold, run("  two blanks"), run(" ")}}};
}

void TestRtfCodec::roundTrip()
{
    QFETCH(QList<Para>, paras);
    QTextDocument doc;
    build(doc, paras);
    QByteArray rtf;
    QCOMPARE(viaRtf(doc, &rtf), describe(doc));
    // Writing what was read gives the same file again.
    QTextDocument back;
    QVERIFY(readRtf(rtf, &back));
    QCOMPARE(writeRtf(&back), rtf);
}

void TestRtfCodec::writerEscapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("r with caron") << QString::fromUtf8("ř") << QByteArray("\\'f8");
    QTest::newRow("euro is in 1250") << QString::fromUtf8("€") << QByteArray("\\'80");
    QTest::newRow("omega") << QString::fromUtf8("Ω") << QByteArray("\\u937?");
    QTest::newRow("surrogates") << QString::fromUtf8("😀") << QByteArray("\\u-10179?\\u-8704?");
    QTest::newRow("braces") << QString("{x}") << QByteArray("\\{x\\}");
    QTest::newRow("backslash") << QString("a\\b") << QByteArray("a\\\\b");
    QTest::newRow("tab") << QString("a\tb") << QByteArray("a\\tab b");
}

void TestRtfCodec::writerEscapes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QTextDocument doc;
    doc.setPlainText(text);
    const QByteArray rtf = writeRtf(&doc);
    QVERIFY2(rtf.contains(expected), rtf.constData());
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1250"));
    for (char c : rtf)
        QVERIFY(uchar(c) < 0x80); // RTF text is 7-bit
}

void TestRtfCodec::emptyParagraphsKeepTheirPlace()
{
    QTextDocument doc;
    doc.setPlainText("\nfirst\n\n\nlast\n");
    QTextDocument back;
    QVERIFY(readRtf(writeRtf(&doc), &back));
    QCOMPARE(back.toPlainText(), doc.toPlainText());
    QCOMPARE(back.blockCount(), doc.blockCount());

    QTextDocument empty;
    QVERIFY(readRtf(writeRtf(&empty), &back));
    QCOMPARE(back.blockCount(), 1);
    QCOMPARE(back.toPlainText(), QString());
}

void TestRtfCodec::wordPadFile()
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1250\\deff0\\nouicompat\\deflang1029{\\fonttbl{\\f0\\fnil\\fcharset238 Calibri;}"
        "{\\f1\\fmodern\\fprq1\\fcharset238 Courier New;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green77\\blue187;}\r\n"
        "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\qc\\b\\f0\\fs32\\lang5 Nadpis \\'e8esky\\par\r\n"
        "\\pard\\sa200\\sl276\\slmult1\\b0\\fs22 Oby\\'e8ejn\\'fd text, \\i kurz\\'edva\\i0 , \\ul podtr\\'9een\\'e9"
        "\\ulnone  a \\cf1 \\'e8erven\\'e1\\cf0 .\\par\r\n"
        "\\f1\\fs20 MOV A,#5\\tab ; koment\\'e1\\'f8\\line druh\\'fd\\par\r\n"
        "\\pard\\qr\\f0\\fs22\\u8364?\\u937?\\par\r\n}\r\n\0";
    QTextDocument doc;
    doc.setPlainText("old text");
    QVERIFY(readRtf(rtf, &doc));
    QCOMPARE(doc.blockCount(), 4);
    QCOMPARE(rawText(doc), QString::fromUtf8("Nadpis česky\nObyčejný text, kurzíva, podtržené a červená.\n"
                                                  "MOV A,#5\t; komentář\u2028druhý\n€Ω"));
    QVERIFY(!doc.isModified());
    QVERIFY(!doc.isUndoAvailable());

    const QString d = describe(doc);
    const QStringList blocks = d.split('\n');
    QVERIFY2(blocks[0].startsWith(QString::fromUtf8("[C]{b-- 16 Calibri auto}Nadpis česky")), qPrintable(d));
    QVERIFY2(blocks[1].contains(QString::fromUtf8("{-i- 11 Calibri auto}kurzíva")), qPrintable(d));
    QVERIFY2(blocks[1].contains(QString::fromUtf8("{--u 11 Calibri auto}podtržené")), qPrintable(d));
    QVERIFY2(blocks[1].contains(QString::fromUtf8("{--- 11 Calibri #ff0000}červená{--- 11 Calibri auto}.")),
             qPrintable(d));
    QVERIFY2(blocks[2].startsWith("[L]{--- 10 Courier New auto}MOV A,#5"), qPrintable(d));
    QVERIFY2(blocks[3].startsWith("[R]"), qPrintable(d));
    QCOMPARE(doc.begin().blockFormat().bottomMargin(), 200 / 15.0);

    // The monospaced font keeps its kind, so a machine without Courier New still shows a fixed font.
    const QTextBlock code = doc.begin().next().next();
    QVERIFY(code.begin().fragment().charFormat().fontFixedPitch());
    QCOMPARE(code.begin().fragment().charFormat().fontStyleHint(), QFont::TypeWriter);
}

void TestRtfCodec::codePages_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("no code page given: 1250") << QByteArray("{\\rtf1 \\'e8\\'9a}") << QString::fromUtf8("čš");
    QTest::newRow("ansicpg1252") << QByteArray("{\\rtf1\\ansi\\ansicpg1252 \\'e8}") << QString::fromUtf8("è");
    QTest::newRow("1252 with an EE font") << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss"
                                                        "\\fcharset238 Arial;}}\\f0 \\'e8}")
                                          << QString::fromUtf8("č");
    QTest::newRow("cyrillic font") << QByteArray("{\\rtf1\\ansi\\ansicpg1250{\\fonttbl{\\f0\\fcharset238 A;}"
                                                 "{\\f1\\fcharset204 B;}}\\f1 \\'c0\\f0 \\'c0}")
                                   << QString::fromUtf8("АŔ");
    QTest::newRow("font name in 1250") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset238 P\\'edsmo;}}\\f0 x}")
                                       << QString("x");
    QTest::newRow("raw high bytes") << QByteArray("{\\rtf1 \xe8\xf8}") << QString::fromUtf8("čř");
}

void TestRtfCodec::codePages()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(plain(rtf), text);
}

void TestRtfCodec::unicodeAndSkipCounts_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("uc1 skips the ?") << QByteArray("{\\rtf1 \\u268?x}") << QString::fromUtf8("Čx");
    QTest::newRow("uc1 skips a hex escape") << QByteArray("{\\rtf1 \\u268\\'c8x}") << QString::fromUtf8("Čx");
    QTest::newRow("uc2") << QByteArray("{\\rtf1\\uc2 \\u268\\'c8\\'c8x}") << QString::fromUtf8("Čx");
    QTest::newRow("uc0") << QByteArray("{\\rtf1\\uc0 \\u268 x}") << QString::fromUtf8("Čx");
    QTest::newRow("uc ends with its group") << QByteArray("{\\rtf1{\\uc0 \\u268 }\\u268??}")
                                            << QString::fromUtf8("ČČ?");
    QTest::newRow("skip ends at a brace") << QByteArray("{\\rtf1\\uc3{\\u268}x}") << QString::fromUtf8("Čx");
    QTest::newRow("negative code") << QByteArray("{\\rtf1 \\u-3?}") << QString(QChar(0xFFFD));
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << QString::fromUtf8("😀");
    QTest::newRow("lone surrogate") << QByteArray("{\\rtf1 \\u-10179?x}") << (QString(QChar(0xFFFD)) + "x");
    QTest::newRow("symbols") << QByteArray("{\\rtf1 a\\~b\\emdash\\bullet\\ldblquote q\\rdblquote}")
                             << QString::fromUtf8("a\u00A0b—•“q”");
    QTest::newRow("escapes") << QByteArray("{\\rtf1 \\{\\}\\\\}") << QString("{}\\");
    QTest::newRow("delimiter space eaten once") << QByteArray("{\\rtf1\\b  two}") << QString(" two");
}

void TestRtfCodec::unicodeAndSkipCounts()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(plain(rtf), text);
}

void TestRtfCodec::skippedDestinations_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("starred unknown") << QByteArray("{\\rtf1 a{\\*\\foo hidden {nested} text}b}") << QString("ab");
    QTest::newRow("info") << QByteArray("{\\rtf1{\\info{\\title T}{\\author A}}x}") << QString("x");
    QTest::newRow("stylesheet") << QByteArray("{\\rtf1{\\stylesheet{\\s0 Normal;}}x}") << QString("x");
    QTest::newRow("picture with binary braces") << QByteArray("{\\rtf1 a{\\pict\\pngblip\\bin6 }}}{{{}b}")
                                                << QString("ab");
    QTest::newRow("field shows its result")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}") << QString("link");
    QTest::newRow("font table is no text") << QByteArray("{\\rtf1{\\fonttbl\\f0 Arial;\\f1 Times;}x}") << QString("x");
    QTest::newRow("colour table is no text") << QByteArray("{\\rtf1{\\colortbl;\\red1;}x}") << QString("x");
}

void TestRtfCodec::skippedDestinations()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(plain(rtf), text);
}

void TestRtfCodec::notRtfLeavesDocument()
{
    QTextDocument doc;
    doc.setPlainText("kept");
    for (const QByteArray& bad : {QByteArray(), QByteArray("plain text"), QByteArray("{\\rt"),
                                  QByteArray("\\rtf1 no brace"), QByteArray("{rtf1}")}) {
        QVERIFY(!readRtf(bad, &doc));
        QCOMPARE(doc.toPlainText(), QString("kept"));
    }
    QVERIFY(!readRtf("{\\rtf1 x}", nullptr));
    QVERIFY(writeRtf(nullptr).isEmpty());
    // A byte order mark and blanks in front are tolerated.
    QVERIFY(readRtf("\xEF\xBB\xBF \r\n{\\rtf1 x}", &doc));
    QCOMPARE(doc.toPlainText(), QString("x"));
}

void TestRtfCodec::malformedInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("too many closing braces") << QByteArray("{\\rtf1 a}}}}}b") << QString("ab");
    QTest::newRow("never closed") << QByteArray("{\\rtf1 {{{\\b a") << QString("a");
    QTest::newRow("deep nesting") << (QByteArray("{\\rtf1 ") + QByteArray(200000, '{') + "x" + QByteArray(200000, '}')
                                      + "y")
                                  << QString("xy");
    QTest::newRow("huge font size") << QByteArray("{\\rtf1\\fs99999999999999999999999 a}") << QString("a");
    QTest::newRow("huge unicode") << QByteArray("{\\rtf1 \\u99999999999999?}") << QString(QChar(0xFFFF));
    QTest::newRow("huge skip count") << QByteArray("{\\rtf1\\uc2147483647 \\u65 abc}") << QString("A");
    QTest::newRow("huge indices") << QByteArray("{\\rtf1\\cf999999\\f-5\\highlight77777 a}") << QString("a");
    QTest::newRow("huge indents") << QByteArray("{\\rtf1\\li-99999999\\fi99999999\\sb-4 a\\par}") << QString("a");
    QTest::newRow("huge binary length") << QByteArray("{\\rtf1 a\\bin99999999999999 bcd") << QString("a");
    QTest::newRow("negative binary length") << QByteArray("{\\rtf1 a\\bin-5 b}") << QString("ab");
    QTest::newRow("cut hex escape") << QByteArray("{\\rtf1 a\\'") << QString("a");
    QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 a\\'zz}") << QString("azz");
    QTest::newRow("trailing backslash") << QByteArray("{\\rtf1 a\\") << QString("a");
    QTest::newRow("long control word") << (QByteArray("{\\rtf1 \\") + QByteArray(5000, 'x') + "12 a}")
                                       << QString("a");
    QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b}", 11) << QString("ab");
    QTest::newRow("font table never closed") << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial") << QString();
    QTest::newRow("colour table overflow") << QByteArray("{\\rtf1{\\colortbl;\\red999\\green-4;}\\cf1 a}")
                                           << QString("a");
}

void TestRtfCodec::malformedInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument doc;
    QVERIFY(readRtf(rtf, &doc));
    QCOMPARE(rawText(doc), text);
    // Whatever was read can be written and read again.
    QTextDocument again;
    QVERIFY(readRtf(writeRtf(&doc), &again));
    QCOMPARE(rawText(again), rawText(doc));
}

void TestRtfCodec::randomBytes()
{
    // Random bytes, weighted towards the characters that steer the reader.
    QRandomGenerator rng(51);
    const QByteArray steering = "{}\\\\\\'*0123456789-;uUbcfsparl \r\n";
    for (int round = 0; round < 400; ++round) {
        QByteArray rtf = "{\\rtf1 ";
        const int length = rng.bounded(1, 3000);
        for (int k = 0; k < length; ++k)
            rtf += rng.bounded(3) == 0 ? char(rng.bounded(256)) : steering[rng.bounded(int(steering.size()))];
        QTextDocument doc;
        QVERIFY(readRtf(rtf, &doc));
        QTextDocument again;
        QVERIFY(readRtf(writeRtf(&doc), &again));
        QCOMPARE(rawText(again), rawText(doc));
    }
}

void TestRtfCodec::contentWithoutRtfForm()
{
    // Lists, tables and pictures pasted into the help window are kept as their text.
    QTextDocument doc;
    doc.setHtml("<ul><li>one</li><li>two</li></ul><table><tr><td>a</td><td>b</td></tr></table>"
                "<p>x<img src='none.png'>y</p>");
    const QByteArray rtf = writeRtf(&doc);
    QTextDocument back;
    QVERIFY(readRtf(rtf, &back));
    const QString text = rawText(back);
    for (const char* part : {"one", "two", "a", "b", "xy"})
        QVERIFY2(text.contains(part), qPrintable(text));
}

QTEST_MAIN(TestRtfCodec)
#include "tst_rtfcodec.moc"
