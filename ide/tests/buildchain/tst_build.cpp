// RunBatchBuild and BuildFinished with small shell templates: old outputs,
// the generated script, a missing template, listings found or not, failing
// scripts, the current file changing during a build, the terminal show mode.
#include "ide/BuildChain.h"
#include "ide/tests/buildchain/BuildChainTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>

class TestBuild : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_program, m_source, m_current, m_base;

    void setTemplate(const QByteArray& text) { write(m_program + "/compile.sh", text); }
    void writeOutputs()
    {
        for (const char* ext : {".lst", ".hex", ".bin"})
            write(m_base + ext, "old");
    }

private slots:
    void init()
    {
        m_program = m_dir.path() + "/program";
        m_source = m_dir.path() + "/src";
        QDir(m_program).removeRecursively();
        QDir(m_source).removeRecursively();
        QVERIFY(QDir().mkpath(m_program));
        QVERIFY(QDir().mkpath(m_source));
        m_current = m_source + "/blink.M51";
        m_base = m_source + "/blink";
        write(m_current, "END\r\n");
    }

    void writesScriptAndDeletesOldOutputs()
    {
        writeOutputs();
        // CR LF in the template is read as line ends and not carried into the script.
        setTemplate("# \"Filename\" twice: \"Filename\"\r\nls \"Filename\".* >\"Filename\".seen\r\n");
        TBuildChain chain(m_program, [&] { return m_current; });
        QSignalSpy started(&chain, &TBuildChain::buildStarted);
        QSignalSpy finished(&chain, &TBuildChain::buildFinished);
        QCOMPARE(chain.RunBatchBuild(0), QString());
        QCOMPARE(started.size(), 1);
        QCOMPARE(chain.runningBuilds(), 1);
        const std::string quoted = "'" + QFile::encodeName(m_base).toStdString() + "'";
        QCOMPARE(chain.CBox.size(), std::size_t(2));
        QCOMPARE(chain.CBox[0], "# " + quoted + " twice: " + quoted);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.front().front().toBool(), true);
        QCOMPARE(chain.runningBuilds(), 0);
        QCOMPARE(readAll(m_program + "/compil.sh"),
                 QByteArray::fromStdString(chain.CBox[0] + "\n" + chain.CBox[1] + "\n"));
        // The script saw only the source and the .asm-less source folder: the old outputs were gone.
        const QByteArray seen = readAll(m_base + ".seen");
        QVERIFY2(!seen.contains(".lst") && !seen.contains(".hex") && !seen.contains(".bin"), seen.constData());
        QVERIFY(seen.contains("blink.M51"));
    }

    void missingTemplate()
    {
        writeOutputs();
        TBuildChain chain(m_program, [&] { return m_current; });
        QSignalSpy started(&chain, &TBuildChain::buildStarted);
        QCOMPARE(chain.RunBatchBuild(0), "Cannot open file " + QDir::toNativeSeparators(m_program + "/compile.sh"));
        QCOMPARE(started.size(), 0);
        QCOMPARE(chain.runningBuilds(), 0);
        for (const char* ext : {".lst", ".hex", ".bin"})
            QVERIFY2(!QFile::exists(m_base + ext), ext);
        QVERIFY(!QFile::exists(m_program + "/compil.sh"));
    }

    void scriptCannotBeWritten()
    {
        setTemplate("exit 0\n");
        QVERIFY(QDir().mkpath(m_program + "/compil.sh")); // a folder in the way
        TBuildChain chain(m_program, [&] { return m_current; });
        QCOMPARE(chain.RunBatchBuild(0),
                 "Cannot create file " + QDir::toNativeSeparators(m_program + "/compil.sh") + "\nIs a folder");
        QCOMPARE(chain.runningBuilds(), 0);
    }

    void listingShown()
    {
        setTemplate("printf 'LISTING \\232\\r\\nline 2\\r\\n' >\"Filename\".lst\n");
        ListingBuild build(m_program, [&] { return m_current; }, "earlier");
        QCOMPARE(build.chain.RunBatchBuild(0), QString());
        QVERIFY(build.finished.wait(30000));
        QCOMPARE(build.ready.size(), 1);
        QCOMPARE(build.ready.front().front().toString(), m_base + ".lst");
        QCOMPARE(build.lst.toPlainText(), QString::fromUtf8("LISTING š\nline 2\n"));
    }

    void noListingLeavesWindow_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("ok");
        QTest::newRow("no listing") << QByteArray("exit 0\n") << true;
        QTest::newRow("failing script") << QByteArray("echo broken >&2\nexit 3\n") << false;
        QTest::newRow("killed") << QByteArray("kill -9 $$\n") << false;
    }
    void noListingLeavesWindow()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, ok);
        writeOutputs();
        setTemplate(script);
        ListingBuild build(m_program, [&] { return m_current; }, "earlier listing");
        QCOMPARE(build.chain.RunBatchBuild(0), QString());
        QVERIFY(build.finished.wait(30000));
        QCOMPARE(build.finished.front().front().toBool(), ok);
        QCOMPARE(build.ready.size(), 0);
        QCOMPARE(build.lst.toPlainText(), QString("earlier listing"));
    }

    // The end of a build looks for the listing of the file that is current then.
    void currentFileChangesDuringBuild()
    {
        write(m_source + "/other.M51", "END\r\n");
        write(m_source + "/other.lst", "other listing");
        setTemplate("printf 'x' >\"Filename\".lst\n");
        QString current = m_current;
        TBuildChain chain(m_program, [&] { return current; });
        QSignalSpy ready(&chain, &TBuildChain::listingReady);
        QSignalSpy finished(&chain, &TBuildChain::buildFinished);
        QCOMPARE(chain.RunBatchBuild(0), QString());
        current = m_source + "/other.M51"; // opened while the build runs
        QVERIFY(finished.wait(30000));
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready.front().front().toString(), m_source + "/other.lst");
    }

    // The build runs in the source's folder and keeps running while the
    // event loop turns; two builds at once each end on their own.
    void responsiveAndConcurrent()
    {
        setTemplate("pwd >\"Filename\".pwd\nsleep 1\n");
        TBuildChain chain(m_program, [&] { return m_current; });
        QSignalSpy finished(&chain, &TBuildChain::buildFinished);
        QCOMPARE(chain.RunBatchBuild(0), QString());
        QCOMPARE(chain.RunBatchBuild(0), QString());
        QCOMPARE(chain.runningBuilds(), 2);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(50);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 30000);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QCOMPARE(readAll(m_base + ".pwd").trimmed(), QFile::encodeName(QFileInfo(m_source).canonicalFilePath()));
    }

    // Closing Zelvar during a build ends the script instead of waiting for it.
    void destroyedDuringBuild()
    {
        setTemplate("sleep 60 &\nwait\n");
        QElapsedTimer clock;
        clock.start();
        {
            TBuildChain chain(m_program, [&] { return m_current; });
            QCOMPARE(chain.RunBatchBuild(0), QString());
            QTest::qWait(200);
        }
        QVERIFY(clock.elapsed() < 20000);
    }

    // A show mode other than 0 runs the script in the terminal emulator.
    void terminalShowMode()
    {
        const QString bin = m_dir.path() + "/bin";
        QVERIFY(QDir().mkpath(bin));
        const QString marker = m_dir.path() + "/terminal.args";
        write(bin + "/x-terminal-emulator",
              "#!/bin/sh\nprintf '%s\\n' \"$@\" >'" + QFile::encodeName(marker) + "'\nshift\nexec \"$@\"\n");
        QFile::setPermissions(bin + "/x-terminal-emulator", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setTemplate("printf 'x' >\"Filename\".lst\n");
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ":" + oldPath);
        TBuildChain chain(m_program, [&] { return m_current; });
        QSignalSpy ready(&chain, &TBuildChain::listingReady);
        QSignalSpy finished(&chain, &TBuildChain::buildFinished);
        QCOMPARE(chain.RunBatchBuild(7), QString());
        QVERIFY(finished.wait(30000));
        qputenv("PATH", oldPath);
        QCOMPARE(readAll(marker), "-e\n/bin/sh\n" + QFile::encodeName(m_program) + "/compil.sh\n");
        QCOMPARE(ready.size(), 1);
    }
};

QTEST_MAIN(TestBuild)
#include "tst_build.moc"
