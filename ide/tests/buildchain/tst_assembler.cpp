// The shipped build templates with the real assemblers: compile.sh with m51as
// (beside the template in the program folder) and compile-mcu8051ide.sh with
// mcu8051ide and srec_cat. A small program in a folder whose name holds a blank
// and a quote assembles into its listing, HEX and binary image; the listing
// reaches the listing window; a second build with an error first deletes the
// old outputs and shows the assembler's error listing. Skipped where a tool is
// missing.
#include "ide/BuildChain.h"
#include "compiler/Compiler.h"
#include "ide/tests/buildchain/BuildChainTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestAssembler : public QObject {
    Q_OBJECT
private slots:
    void realBuild_data()
    {
        QTest::addColumn<QString>("templateName");
        QTest::addColumn<QByteArray>("resetVector");
        QTest::addColumn<QString>("cleanListing");
        // m51as reaches MAIN with SJMP, mcu8051ide takes LJMP for a forward reference.
        QTest::newRow("m51as") << QString("compile.sh") << QByteArray("\x80\x2E", 2) << QString("\n0 errors");
        QTest::newRow("mcu8051ide") << QString("compile-mcu8051ide.sh") << QByteArray("\x02\x00\x30", 3) << QString("NO ERRORS");
    }

    void realBuild()
    {
        QFETCH(QString, templateName);
        QFETCH(QByteArray, resetVector);
        QFETCH(QString, cleanListing);
        QTemporaryDir dir;
        const QString program = dir.path() + "/program";
        const QString source = dir.path() + "/it's my src";
        QVERIFY(QDir().mkpath(program));
        QVERIFY(QDir().mkpath(source));
        if (templateName == "compile.sh") {
#ifdef M51AS_PATH
            QVERIFY(QFile::copy(M51AS_PATH, program + "/m51as"));
#else
            QSKIP("m51as is not built");
#endif
        } else if (QStandardPaths::findExecutable("mcu8051ide").isEmpty() ||
                   QStandardPaths::findExecutable("srec_cat").isEmpty()) {
            QSKIP("mcu8051ide or srec_cat is not installed");
        }
        QVERIFY(QFile::copy(ZELVAR_RESOURCES "/" + templateName, program + "/compile.sh"));
        const QString current = source + "/blink.M51";
        const QString base = source + "/blink";
        write(current, "PROCESOR 51\r\nEND\r\n");
        // What the compiler writes for a tiny program: set P1, count down, loop.
        write(base + ".asm", "$MOD51\r\n$NOLIST\r\nORG 00H\r\nJMP MAIN\r\nORG 030H\r\nMAIN:\r\nMov P1,#055H\r\n"
                             "Mov A,#003\r\nLP0001:\r\nDJNZ ACC,LP0001\r\nJmp MAIN\r\nEND\r\n");

        ListingBuild build(program, [&] { return current; });
        QCOMPARE(build.chain.RunBatchBuild(0), QString());
        QVERIFY(build.finished.wait(120000));
        QCOMPARE(build.finished.takeFirst().front().toBool(), true);
        QVERIFY(QFile::exists(base + ".lst"));
        QVERIFY(readAll(base + ".hex").startsWith(":"));
        const QByteArray image = readAll(base + ".bin");
        // A jump to 0030H at the reset vector, then MOV P1,#55H at 30H.
        QVERIFY(image.size() >= 0x33);
        QCOMPARE(image.left(resetVector.size()), resetVector);
        QCOMPARE(image.mid(0x30, 3), QByteArray("\x75\x90\x55", 3));
        QVERIFY2(build.lst.toPlainText().contains(cleanListing), qPrintable(build.lst.toPlainText().left(400)));

        // A broken program: the old HEX and binary go, the error listing is shown, the build reports failure.
        write(base + ".asm", "ORG 0\r\nMOVX FOO,BAR\r\nEND\r\n");
        QCOMPARE(build.chain.RunBatchBuild(0), QString());
        QVERIFY(build.finished.wait(120000));
        QCOMPARE(build.finished.takeFirst().front().toBool(), false);
        QVERIFY(!QFile::exists(base + ".hex"));
        QVERIFY(!QFile::exists(base + ".bin"));
        QVERIFY2(build.lst.toPlainText().contains("MOVX", Qt::CaseInsensitive),
                 qPrintable(build.lst.toPlainText().left(400)));
        QVERIFY(build.lst.toPlainText().contains("ERROR:"));
    }

    // The shipped sample snippets, put together into one program as a user
    // would, compile without errors and assemble.
    void sampleSnippets()
    {
        if (QStandardPaths::findExecutable("mcu8051ide").isEmpty())
            QSKIP("mcu8051ide is not installed");
        std::vector<std::string> program;
        const QString macro = ZELVAR_RESOURCES "/Macro/";
        for (const char* name : {"Frame.Mac", "Timer0.Mac", "Delay.Mac", "WaitKey.Mac"}) {
            const QByteArray text = readAll(macro + name);
            QVERIFY2(!text.isEmpty(), name);
            for (std::string& line : m51::SplitSourceLines(std::string_view(text.constData(), text.size()))) {
                if (line == "END")
                    continue; // the frame's END goes last
                if (line == "TIMER0 DISABLE")
                    line = "TIMER0 T0ISR";
                if (line.rfind("JUMP MAINLOOP", 0) == 0) {
                    program.push_back("SKIP TIMER0START");
                    program.push_back("SKIP WAITKEY");
                }
                program.push_back(line);
            }
        }
        program.push_back("END");
        const m51::CompileResult result = m51::CompileSource(program);
        QVERIFY(result.ErBox.empty());
        QCOMPARE(result.ProcBox.size(), std::size_t(6));
        QTemporaryDir dir;
        QByteArray asmText;
        for (const std::string& line : result.Output)
            asmText += QByteArray::fromStdString(line) + "\r\n";
        write(dir.path() + "/samples.asm", asmText);
        QProcess assembler;
        assembler.setWorkingDirectory(dir.path());
        assembler.start("mcu8051ide", {"--nocolor", "--quiet", "--no-sim", "--no-bin", "--compile", "samples.asm"});
        QVERIFY(assembler.waitForFinished(120000));
        QCOMPARE(assembler.exitCode(), 0);
        QVERIFY(readAll(dir.path() + "/samples.hex").startsWith(":"));
    }
};

QTEST_MAIN(TestAssembler)
#include "tst_assembler.moc"
