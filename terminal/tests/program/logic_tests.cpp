// The terminal's receive side without a port: receive formatting and the
// compact stores, the compact text view's selection, the plot's series and
// Find.
#include "terminal/CompactTextView.h"
#include "terminal/core/HexBytes.h"
#include "terminal/MacroCodec.h"
#include "terminal/core/PlotData.h"
#include "terminal/ui/PlotPane.h"
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
#include <qcustomplot.h>

namespace {
void feed(TReceiveLog& log, const QByteArray& block, const TReceiveOptions& options = {})
{
    log.receive(block.constData(), block.size(), options);
}
}  // namespace

class LogicTests : public QObject {
    Q_OBJECT
private slots:
    void intToBin_data();
    void intToBin();
    void receiveLines_data();
    void receiveLines();
    void receiveTimeStamps();
    void receiveLineEndings_data();
    void receiveLineEndings();
    void receiveColumnsAndCounter();
    void receiveClear();
    void receiveLongLineSlices();
    void chunkedVectorAcrossChunks();
    void storeKeepsNewestWithinLimit();
    void viewSelectAndCopy();
    void plotLines_data();
    void plotLines();
    void plotSeriesAcrossBlocks();
    void plotPaneTakesWhatCame();
    void findInStore_data();
    void findInStore();
};

void LogicTests::intToBin_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("bits");
    QTest::newRow("0") << 0 << "00000000";
    QTest::newRow("13") << 13 << "00001101";
    QTest::newRow("128") << 128 << "10000000";
    QTest::newRow("255") << 255 << "11111111";
    QTest::newRow("low eight bits of 269") << 269 << "00001101";
}

void LogicTests::intToBin()
{
    QFETCH(int, value);
    QFETCH(QString, bits);
    QCOMPARE(IntToBin(value), bits);
}

void LogicTests::receiveLines_data()
{
    // Blocks separated by "|"; the expected lines of RxMemo separated by "/".
    QTest::addColumn<QByteArray>("blocks");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CR LF then open line") << QByteArray("AB\r\nCD") << "AB/CD";
    QTest::newRow("line continued in the next block") << QByteArray("AB\r\nCD|E\r") << "AB/CDE/";
    QTest::newRow("bare LF gives no break") << QByteArray("A\nB") << "AB";
    QTest::newRow("CR alone breaks") << QByteArray("A\rB") << "A/B";
    QTest::newRow("backspace at a block start") << QByteArray("ABC|\bD") << "ABD";
    QTest::newRow("backspace on an empty line") << QByteArray("\r|\b\bX") << "/X";
    QTest::newRow("backspaced to empty keeps the shown text") << QByteArray("AB|\b\b") << "AB";
    QTest::newRow("emptied then continued") << QByteArray("AB|\b\b|C") << "ABC";
    QTest::newRow("zero byte is a character") << QByteArray("A\0B", 3) << QString::fromLatin1("A\0B", 3);
    QTest::newRow("control characters kept") << QByteArray("\x1b[1m") << "\x1b[1m";
}

void LogicTests::receiveLines()
{
    QFETCH(QByteArray, blocks);
    QFETCH(QString, expected);
    TReceiveLog log;
    for (const QByteArray& block : blocks.split('|'))
        feed(log, block);
    QCOMPARE(sourceLines(log.Text).join(QLatin1Char('/')), expected);
}

void LogicTests::receiveTimeStamps()
{
    TReceiveLog log;
    log.clock = [] { return QTime(14, 5, 9); };
    TReceiveOptions time;
    time.Time = true;
    feed(log, "OK\r", time);
    QCOMPARE(sourceLines(log.Text), QStringList({"14:05:09> OK", ""}));

    // A line written at the end of one block and closed in the next carries a
    // stamp per write, the newest leftmost.
    log.clear();
    feed(log, "AB", time);
    QCOMPARE(sourceLines(log.Text), QStringList({"14:05:09> AB"}));
    log.clock = [] { return QTime(14, 5, 10); };
    feed(log, "C\r", time);
    QCOMPARE(sourceLines(log.Text), QStringList({"14:05:10> 14:05:09> ABC", ""}));

    // After CLEAR the first line of the next block is the box's first line,
    // stamped whether it ends with CR or with the block.
    log.clear();
    feed(log, "X", time);
    QCOMPARE(sourceLines(log.Text), QStringList({"14:05:10> X"}));
    log.clear();
    feed(log, "Y\r", time);
    QCOMPARE(sourceLines(log.Text), QStringList({"14:05:10> Y", ""}));

    // The clock is read at most once per block.
    int reads = 0;
    log.clock = [&reads] {
        ++reads;
        return QTime(1, 2, 3);
    };
    feed(log, "a\rb\rc\r", time);
    QCOMPARE(reads, 1);
}

void LogicTests::receiveLineEndings_data()
{
    // Blocks separated by "|" (each block one second later), the options, and
    // the lines of the box separated by "/"; then the lines the text log got.
    QTest::addColumn<QByteArray>("blocks");
    QTest::addColumn<bool>("lf");
    QTest::addColumn<bool>("once");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("logged");
    QTest::newRow("LF alone ends lines") << QByteArray("A\nB\n|C") << true << false << "A/B/C" << "A/B";
    QTest::newRow("CR LF is one break") << QByteArray("A\r|\nB\r\n\r\nC") << true << false << "A/B//C" << "A/B/";
    QTest::newRow("LF CR is two") << QByteArray("A\n\rB") << true << false << "A//B" << "A/";
    QTest::newRow("LF ignored by default") << QByteArray("A\nB\n") << false << false << "AB" << "";
    QTest::newRow("one stamp across blocks") << QByteArray("~AB|C|D\r") << false << true << "01> ABCD/" << "01> ABCD";
    QTest::newRow("stamp per write by default") << QByteArray("~AB|C\r") << false << false << "02> 01> ABC/"
                                                << "02> 01> ABC";
    QTest::newRow("LF lines stamped once") << QByteArray("~A|B\nC\n") << true << true << "01> AB/02> C/"
                                           << "01> AB/02> C";
}

void LogicTests::receiveLineEndings()
{
    QFETCH(QByteArray, blocks);
    QFETCH(bool, lf);
    QFETCH(bool, once);
    QFETCH(QString, expected);
    QFETCH(QString, logged);
    TReceiveLog log;
    int second = 0;
    log.clock = [&second] { return QTime(0, 0, second); };
    QStringList ended;
    log.LineEnded = [&ended](const QByteArray& line) { ended << QString::fromLatin1(line); };
    TReceiveOptions options;
    options.LfNewLine = lf;
    options.StampOnce = once;
    options.Time = blocks.startsWith('~');
    for (const QByteArray& block : blocks.mid(options.Time ? 1 : 0).split('|')) {
        ++second;
        feed(log, block, options);
    }
    QString lines = sourceLines(log.Text).join(QLatin1Char('/'));
    lines.replace(QStringLiteral("00:00:"), QString());
    QCOMPARE(lines, expected);
    QCOMPARE(ended.join(QLatin1Char('/')).replace(QStringLiteral("00:00:"), QString()), logged);
}

void LogicTests::receiveColumnsAndCounter()
{
    TReceiveLog log;
    TReceiveOptions all;
    all.Dec = all.Hex = all.Bin = true;
    feed(log, QByteArray("A\r", 2), all);
    QCOMPARE(sourceLines(log.Dec), QStringList({"65", "13"}));
    QCOMPARE(sourceLines(log.Hex), QStringList({"41", "0D"}));
    QCOMPARE(sourceLines(log.Bin), QStringList({"01000001", "00001101"}));
    QCOMPARE(sourceLines(log.Text), QStringList({"A", ""}));
    QCOMPARE(log.CharCount, 1);

    // Only the columns switched on grow; LF and backspace get their lines too.
    TReceiveOptions hex;
    hex.Hex = true;
    feed(log, QByteArray("\n\b\xff", 3), hex);
    QCOMPARE(sourceLines(log.Dec).size(), 2);
    QCOMPARE(sourceLines(log.Hex), QStringList({"41", "0D", "0A", "08", "FF"}));

    // 13, 13, 10 raise the counter by two; another counted value counts instead.
    feed(log, "\r\r\n");
    QCOMPARE(log.CharCount, 3);
    TReceiveOptions countA;
    countA.CountChar = 'A';
    feed(log, "AAB", countA);
    QCOMPARE(log.CharCount, 5);
    log.clear();
    QCOMPARE(log.CharCount, 5);  // CLEAR leaves the counter
}

void LogicTests::receiveClear()
{
    TReceiveLog log;
    feed(log, "one\rtwo\r");
    QCOMPARE(log.Text.lineCount(), 3);
    log.clear();
    QCOMPARE(log.Text.lineCount(), 0);
    QVERIFY(!log.Text.hasLines());
    feed(log, "\b");  // nothing to remove, nothing written
    QCOMPARE(log.Text.lineCount(), 0);
    feed(log, "\r");
    QCOMPARE(sourceLines(log.Text), QStringList({"", ""}));
}

void LogicTests::receiveLongLineSlices()
{
    TReceiveLog log;
    QByteArray big(3 * 1024 * 1024, 'x');
    big[1500000] = 'M';
    feed(log, big + "\rtail");
    QCOMPARE(log.Text.lineCount(), 2);
    QCOMPARE(log.Text.lineLength(0), big.size());
    QCOMPARE(log.Text.lineSlice(0, 1499999, 3), QByteArray("xMx"));
    QCOMPARE(log.Text.lineSlice(1, 2, 100), QByteArray("il"));
    QCOMPARE(log.Text.maxLineLength(), int(big.size()));
}

void LogicTests::chunkedVectorAcrossChunks()
{
    TChunkedVector<char, 4> v;  // chunks of 16
    QByteArray data;
    for (int i = 0; i < 100; ++i)
        data.append(char('a' + i % 26));
    v.append(data.constData(), 7);
    for (int i = 7; i < 40; ++i)
        v.push(data[i]);
    v.append(data.constData() + 40, 60);
    QCOMPARE(v.size(), 100);
    QByteArray back(100, Qt::Uninitialized);
    v.copy(0, 100, back.data());
    QCOMPARE(back, data);
    QCOMPARE(v.at(33), data[33]);
    v.copy(15, 3, back.data());
    QCOMPARE(back.left(3), data.mid(15, 3));
}

void LogicTests::storeKeepsNewestWithinLimit()
{
    TReceiveLog log;
    log.MemoryLimit = qint64(16) << 20;
    TReceiveOptions all;
    all.Dec = all.Hex = all.Bin = true;
    qint64 peak = 0;
    for (int i = 0; i < 400000; ++i) {
        feed(log, "line " + QByteArray::number(i) + " abcdefghijklmnopqrstuvwxyz\r\n", all);
        peak = std::max(peak, log.memoryBytes());
    }
    QVERIFY(peak <= log.MemoryLimit);
    QVERIFY(log.Text.droppedLines() > 0);
    const qint64 lines = log.Text.lineCount();
    QCOMPARE(log.Text.line(lines - 2), QByteArray("line 399999 abcdefghijklmnopqrstuvwxyz"));
    const QByteArray first = log.Text.line(0);
    QCOMPARE(first, "line " + QByteArray::number(log.Text.droppedLines()) + " abcdefghijklmnopqrstuvwxyz");
    // The columns still find the bytes of a kept line: LF, then "line".
    const qint64 at = log.Hex.lineAtStream(log.Text.streamStart(lines / 2));
    QCOMPARE(log.Hex.line(at) + log.Hex.line(at + 1), QByteArray("0A6C"));
    QCOMPARE(log.Dec.line(log.Dec.lineCount() - 1), QByteArray("10"));

    // One endless line without a break is cut at its oldest end.
    log.clear();
    const QByteArray block(65536, 'x');
    for (int i = 0; i < 400; ++i)
        feed(log, block);
    QVERIFY(log.memoryBytes() <= log.MemoryLimit);
    QCOMPARE(log.Text.lineCount(), 1);
}

void LogicTests::viewSelectAndCopy()
{
    TReceiveLog log;
    feed(log, "first\rsecond\rthird");
    TCompactTextView view;
    view.resize(300, 200);
    view.setSource(&log.Text);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.selectAll();
    view.copy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first\nsecond\nthird"));
    view.setSelection({0, 2}, {1, 3});
    QCOMPARE(view.selectedText(), QStringLiteral("rst\nsec"));
    // Ctrl+A and Ctrl+C work from the keyboard.
    view.clearSelection();
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first\nsecond\nthird"));

    // Scrolled to the end, the view follows new lines; scrolled up, it stays.
    TReceiveLog many;
    TCompactTextView follow;
    follow.resize(200, 100);
    follow.setSource(&many.Text);
    follow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&follow));
    for (int i = 0; i < 200; ++i)
        feed(many, "line\r");
    follow.refreshNow();
    QVERIFY(follow.atEnd());
    QVERIFY(follow.firstVisibleLine() > 150);
    follow.verticalScrollBar()->setValue(10);
    for (int i = 0; i < 50; ++i)
        feed(many, "more\r");
    follow.refreshNow();
    QCOMPARE(follow.firstVisibleLine(), 10);
}

void LogicTests::plotLines_data()
{
    // A line and its values as "name:value" separated by blanks.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("values");
    QTest::newRow("blanks") << QByteArray("1 2.5  -3") << "1:1 2:2.5 3:-3";
    QTest::newRow("commas and semicolons") << QByteArray("4,5;6") << "1:4 2:5 3:6";
    QTest::newRow("tabs, exponent") << QByteArray("1e3\t-2.5E-1") << "1:1000 2:-0.25";
    QTest::newRow("name=value pairs") << QByteArray("t=21.5 rh=40") << "t:21.5 rh:40";
    QTest::newRow("words keep the positions") << QByteArray("temp 21.5 C") << "2:21.5";
    QTest::newRow("a bad value is skipped") << QByteArray("x=abc y=2") << "y:2";
    QTest::newRow("no number") << QByteArray("READY") << "";
    QTest::newRow("empty") << QByteArray() << "";
}

void LogicTests::plotLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, values);
    QStringList got;
    for (const auto& [name, value] : ParsePlotLine(line))
        got << name + QLatin1Char(':') + QString::number(value);
    QCOMPARE(got.join(QLatin1Char(' ')), values);
}

void LogicTests::plotSeriesAcrossBlocks()
{
    TPlotData data;
    const QByteArray stream = "1,10\r\n2,2";
    data.receive(stream.constData(), stream.size(), 0.5);
    QCOMPARE(data.series().size(), 2);
    const QByteArray next = "0\r\nhello\n3\r";  // the line "2,20" spans two blocks
    data.receive(next.constData(), next.size(), 1.5);
    QCOMPARE(data.series().size(), 2);
    QCOMPARE(data.series()[0].Value, (QVector<double>{1, 2, 3}));
    QCOMPARE(data.series()[1].Value, (QVector<double>{10, 20}));
    QCOMPARE(data.series()[1].Time, (QVector<double>{0.5, 1.5}));
    QCOMPARE(data.toCsv(), QByteArray("time,1,2\n0.500000,1,10\n1.500000,2,20\n1.500000,3,\n"));
    // The legend names plain values by column, labelled ones by their label.
    QCOMPARE(PlotSeriesLabel(data.series()[1].Name), QStringLiteral("Column 2"));
    QCOMPARE(PlotSeriesLabel(QStringLiteral("temp")), QStringLiteral("temp"));
    // The time window drops the rows that left it from the export.
    data.setWindow(0.5);
    data.receive("9\n", 2, 10.0);
    QCOMPARE(data.series()[0].Value.last(), 9.0);
    QCOMPARE(data.toCsv(), QByteArray("time,1,2\n10.000000,9,\n"));
    data.clear();
    QVERIFY(data.series().isEmpty());
}

void LogicTests::plotPaneTakesWhatCame()
{
    // Frame by frame the graphs get only the new values, drop those the time
    // window dropped, and start over after a clear: they always hold what
    // the series hold.
    TPlotData data;
    TPlotPane pane(&data);
    pane.show();
    QCustomPlot* plot = pane.findChild<QCustomPlot*>();
    QVERIFY(plot);
    auto same = [&] {
        for (int i = 0; i < data.series().size(); ++i) {
            const auto& s = data.series()[i];
            const auto graph = plot->graph(i)->data();
            if (graph->isEmpty() || graph->constBegin()->key != s.Time.first() || (graph->constEnd() - 1)->key != s.Time.last()
                || (graph->constEnd() - 1)->value != s.Value.last())
                return false;
        }
        return plot->graphCount() == data.series().size();
    };
    double t = 0;
    for (int frame = 0; frame < 40; ++frame) {
        QByteArray block;
        for (int line = 0; line < 500; ++line)
            block += QByteArray::number(frame * 500 + line) + "," + QByteArray::number(-line) + "\r\n";
        data.receive(block.constData(), block.size(), t += 3);
        if (frame % 3 == 0)
            continue;  // two blocks came between frames
        pane.redraw();
        QVERIFY2(same(), qPrintable(QStringLiteral("frame %1").arg(frame)));
    }
    QVERIFY(data.series()[0].Time.first() > 0);  // the 60 s window dropped the oldest
    data.clear();
    data.receive("7 8 9\n", 6, t);
    pane.redraw();
    QCOMPARE(plot->graphCount(), 3);
    QVERIFY(same());
    QCOMPARE(plot->graph(0)->dataCount(), 1);
}

void LogicTests::findInStore_data()
{
    // From (line, column), the hit "line:column" with "w" when it wrapped, or "none".
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("hit");
    const QByteArray text = "ok\r\nError 1\r\nerror 2 error\r\nOK";
    const QByteArray one = "error 2 error";
    QTest::newRow("next from the start") << text << QByteArray("ok") << false << true << 0 << 0 << "0:0";
    QTest::newRow("next after a hit") << text << QByteArray("ok") << false << true << 0 << 1 << "3:0";
    QTest::newRow("next wraps to the start") << text << QByteArray("ok") << false << true << 3 << 1 << "0:0w";
    QTest::newRow("case: only the upper") << text << QByteArray("OK") << true << true << 1 << 0 << "3:0";
    QTest::newRow("case: none other") << text << QByteArray("ERROR") << true << true << 0 << 0 << "none";
    QTest::newRow("previous wraps to the end") << text << QByteArray("ok") << false << false << 0 << 0 << "3:0w";
    QTest::newRow("previous on earlier lines") << text << QByteArray("error") << false << false << 2 << 0 << "1:0";
    QTest::newRow("previous within a line") << one << QByteArray("error") << false << false << 0 << 8 << "0:0";
    QTest::newRow("next within a line") << one << QByteArray("error") << false << true << 0 << 1 << "0:8";
    QTest::newRow("back round to the same line") << QByteArray("x ab") << QByteArray("ab") << false << true << 0 << 3
                                                 << "0:2w";
    QTest::newRow("no match across lines") << text << QByteArray("ok\r\n") << false << true << 0 << 0 << "none";
    QTest::newRow("accented letters fold") << QByteArray("\x8a" "KODA") << QByteArray("\x9a" "koda") << false << true
                                           << 0 << 0 << "0:0";
}

void LogicTests::findInStore()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, find);
    QFETCH(bool, matchCase);
    QFETCH(bool, forward);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, hit);
    TReceiveLog log;
    feed(log, text);
    const auto got = FindInLines(log.Text, TFindQuery{find, matchCase, forward}, line, column);
    const QString seen = !got ? QStringLiteral("none")
                              : QStringLiteral("%1:%2%3").arg(got->Line).arg(got->Column).arg(got->Wrapped ? "w" : "");
    QCOMPARE(seen, hit);
}

QTEST_MAIN(LogicTests)
#include "logic_tests.moc"
