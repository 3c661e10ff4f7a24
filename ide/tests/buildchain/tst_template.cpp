// The template side of the build chain: placeholder replacement, the name put
// in for the source, the show mode, and hostile file names run by the real
// shell without splitting a word or running anything.
#include "ide/BuildChain.h"
#include "ide/tests/buildchain/BuildChainTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestTemplate : public QObject {
    Q_OBJECT
private slots:
    void replacePlaceholders_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("twice") << R"(asm51 "Filename".asm > "Filename".log)" << "'/p/x'" << "asm51 '/p/x'.asm > '/p/x'.log";
        QTest::newRow("adjacent") << R"("Filename""Filename")" << "N" << "NN";
        QTest::newRow("bare word stays") << "copy Filename.hex" << "N" << "copy Filename.hex";
        QTest::newRow("half quoted stays") << R"("Filename.hex")" << "N" << R"("Filename.hex")";
        QTest::newRow("case matters") << R"("FILENAME")" << "N" << R"("FILENAME")";
        QTest::newRow("empty name") << R"(x "Filename".asm)" << "" << "x .asm";
        QTest::newRow("name holding the placeholder") << R"("Filename" "Filename")" << R"('"Filename"')"
                                                       << R"('"Filename"' '"Filename"')";
        QTest::newRow("converter pattern") << R"("Filename".HEX "Filename".BIN H 0000 FFFF 1)" << "C:\\PROG~1\\BLINK"
                                           << R"(C:\PROG~1\BLINK.HEX C:\PROG~1\BLINK.BIN H 0000 FFFF 1)";
    }
    void replacePlaceholders()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(BuildChain::ReplacePlaceholders(line.toStdString(), name.toStdString())), expected);
    }

    void fileNameText()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/my.dir";
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/blink.M51");
        const std::string quoted = "'" + QFile::encodeName(folder).toStdString() + "/blink'";
        // The extension's letter case does not matter, and a folder with a dot stays whole.
        QCOMPARE(BuildChain::FileNameText(BuildChain::BaseOf(folder + "/blink.M51")), quoted);
        QCOMPARE(BuildChain::FileNameText(BuildChain::BaseOf(folder + "/blink.txt")), quoted);
        QCOMPARE(BuildChain::BaseOf(folder + "/blink.v2.M51"), folder + "/blink");
        // No such source: the empty name.
        QCOMPARE(BuildChain::FileNameText(BuildChain::BaseOf(folder + "/other.M51")), std::string("''"));
        QCOMPARE(BuildChain::FileNameText(QString()), std::string("''"));
        // A folder of that name is no source.
        QVERIFY(QDir().mkpath(folder + "/sub.m51"));
        QCOMPARE(BuildChain::FileNameText(folder + "/sub"), std::string("''"));
    }

    void showMode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mode");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("seven") << "7" << 7;
        QTest::newRow("fraction dropped") << "1.9" << 1;
        QTest::newRow("not a number") << "normal" << 0;
        QTest::newRow("suffix") << "7H" << 0;
        QTest::newRow("huge") << "1e30" << 2147483647;
    }
    void showMode()
    {
        QFETCH(QString, text);
        QFETCH(int, mode);
        QCOMPARE(BuildChain::ShowModeFromText(text), mode);
    }

    // Names with blanks, quotes, $, ;, back-quotes, a newline and the
    // placeholder itself reach the programs as one word, and nothing runs.
    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my  prog";
        QTest::newRow("single quote") << "it's";
        QTest::newRow("double quote") << "say \"hi\"";
        QTest::newRow("dollar") << "$HOME and ${PATH}";
        QTest::newRow("semicolon") << "a;touch pwned;b";
        QTest::newRow("back-quotes") << "`touch pwned`";
        QTest::newRow("command substitution") << "$(touch pwned)";
        QTest::newRow("ampersand and pipe") << "x & touch pwned | cat";
        QTest::newRow("newline") << "line\ntouch pwned";
        QTest::newRow("placeholder") << "\"Filename\"";
        QTest::newRow("backslash") << "back\\slash\\";
    }
    void hostileNames()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString program = dir.path() + "/program";
        const QString source = dir.path() + "/" + name;
        QVERIFY(QDir().mkpath(program));
        QVERIFY(QDir().mkpath(source));
        write(source + "/" + name + ".M51");
        const QString out = dir.path() + "/out.txt";
        // Each word on a line of its own: one word in, one line out.
        const QByteArray templ = "printf '%s\\n' \"Filename\".asm \"Filename\".hex >" +
                                 QByteArray::fromStdString(BuildChain::ShellQuote(QFile::encodeName(out).toStdString())) +
                                 "\n";
        write(program + "/compile.sh", templ);

        const QString current = source + "/" + name + ".M51";
        TBuildChain chain(program, [&] { return current; });
        QSignalSpy finished(&chain, &TBuildChain::buildFinished);
        QCOMPARE(chain.RunBatchBuild(0), QString());
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.front().front().toBool(), true);

        const QByteArray base = QFile::encodeName(source + "/" + name);
        QCOMPARE(readAll(out), base + ".asm\n" + base + ".hex\n");
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(it.next().section('/', -1) != "pwned", qPrintable(it.filePath()));
        QVERIFY(!QFile::exists(QDir::currentPath() + "/pwned"));
    }
};

QTEST_GUILESS_MAIN(TestTemplate)
#include "tst_template.moc"
