// Window placement: the profile file layer, reading the integer keys, the
// round trip of a window's normal rectangle, defaults, the right-less-than-
// left rule, a maximised window, garbage files, the file's location; the
// run's profile store.
#include "ide/Placement.h"
#include "ide/ProfileFile.h"
#include "ide/ProfileStore.h"
#include "ide/tests/buildchain/BuildChainTestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

class TestPlacement : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString ini() const { return m_dir.path() + "/Zelvar"; }

private slots:
    void init() { QFile::remove(ini()); }

    void profileReading()
    {
        TProfileFile f;
        f.setBytes("\xEF\xBB\xBF[Top]\r\nk=1\r\n; comment\r\n[]\r\nloose=1\r\n[Editor]\r\n  PlaceNormPosL = 12 \r\nquoted=\"a b\"\r\n"
                   "[editor]\nPlaceNormPosL=99\n[Other]\rPlaceNormPosL=7\r");
        QCOMPARE(f.GetPrivateProfileString("Top", "k"), QByteArray("1"));
        QCOMPARE(f.GetPrivateProfileString("EDITOR", "placenormposl"), QByteArray("12"));
        QCOMPARE(f.GetPrivateProfileString("Editor", "quoted"), QByteArray("a b"));
        QCOMPARE(f.GetPrivateProfileString("Other", "PlaceNormPosL"), QByteArray("7"));
        QCOMPARE(f.GetPrivateProfileString("Editor", "loose", "def"), QByteArray("def"));
        QCOMPARE(f.GetPrivateProfileString("Missing", "x", "def"), QByteArray("def"));
    }

    void profileWritingKeepsTheRest()
    {
        TProfileFile f;
        f.setBytes("; mine\n[Form1]\nPlaceFlags=0\nOwn=yes\n\n[Help]\nPlaceFlags=5\n");
        f.WritePrivateProfileString("form1", "PlaceFlags", "3");
        f.WritePrivateProfileString("Form1", "PlaceNormPosL", "10");
        f.WritePrivateProfileString("Sklad", "PlaceFlags", "1");
        QCOMPARE(f.bytes(), QByteArray("; mine\n[Form1]\nPlaceFlags=3\nOwn=yes\nPlaceNormPosL=10\n\n[Help]\nPlaceFlags=5\n"
                                       "\n[Sklad]\nPlaceFlags=1\n"));
    }

    void parseInt_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal") << QByteArray("100") << true << 100;
        QTest::newRow("negative") << QByteArray("-8") << true << -8;
        QTest::newRow("0x") << QByteArray("0x64") << true << 100;
        QTest::newRow("0X") << QByteArray("0X64") << true << 100;
        QTest::newRow("dollar") << QByteArray("$64") << true << 100;
        QTest::newRow("hex all ones") << QByteArray("$FFFFFFFF") << true << -1;
        QTest::newRow("too large") << QByteArray("2147483648") << false << 0;
        QTest::newRow("hex too large") << QByteArray("0x100000000") << false << 0;
        QTest::newRow("letters in decimal") << QByteArray("64h") << false << 0;
        QTest::newRow("empty") << QByteArray("") << false << 0;
        QTest::newRow("garbage") << QByteArray("\x01\xff") << false << 0;
    }
    void parseInt()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        int v = 0;
        QCOMPARE(TPlacement::ParseProfileInt(text, &v), ok);
        if (ok)
            QCOMPARE(v, value);
    }

    void roundTrip()
    {
        QWidget w;
        w.setGeometry(100, 120, 300, 200);
        TPlacement out(&w, "Editor", ini());
        QCOMPARE(out.SavePlacement(), QString());
        QCOMPARE(readAll(ini()), QByteArray("[Editor]\nPlaceFlags=0\nPlaceMinPosX=-1\nPlaceMinPosY=-1\nPlaceMaxPosX=-1\n"
                                            "PlaceMaxPosY=-1\nPlaceNormPosL=100\nPlaceNormPosT=120\nPlaceNormPosR=400\n"
                                            "PlaceNormPosB=320\n"));
        QWidget again;
        again.resize(50, 60);
        TPlacement in(&again, "Editor", ini());
        in.LoadPlacement();
        QCOMPARE(again.geometry(), QRect(100, 120, 300, 200));
        // Another window's section is independent.
        QWidget other;
        other.resize(70, 80);
        TPlacement none(&other, "Help", ini());
        none.LoadPlacement();
        QCOMPARE(other.geometry(), QRect(0, 0, 70, 80));
    }

    void hexadecimalValues()
    {
        write(ini(), "[Form1]\r\nPlaceNormPosL=0x64\r\nPlaceNormPosT=$20\r\nPlaceNormPosR=0X1F4\r\nPlaceNormPosB=300\r\n");
        QWidget w;
        TPlacement p(&w, "Form1", ini());
        p.LoadPlacement();
        QCOMPARE(w.geometry(), QRect(100, 32, 400, 268));
    }

    void windowOutOfSightComesBackOnTheScreen()
    {
        // Saved on a larger screen than there is now: the window is moved
        // back onto the screen with its size kept; one still partly on the
        // screen stays where it was.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        write(ini(), QStringLiteral("[Far]\nPlaceNormPosL=%1\nPlaceNormPosT=%2\nPlaceNormPosR=%3\nPlaceNormPosB=%4\n"
                                    "[Edge]\nPlaceNormPosL=%5\nPlaceNormPosT=10\nPlaceNormPosR=%6\nPlaceNormPosB=110\n")
                         .arg(area.right() + 500).arg(area.bottom() + 400).arg(area.right() + 700).arg(area.bottom() + 500)
                         .arg(area.right() - 20).arg(area.right() + 80)
                         .toLatin1());
        QWidget far, edge;
        TPlacement(&far, "Far", ini()).LoadPlacement();
        TPlacement(&edge, "Edge", ini()).LoadPlacement();
        QCOMPARE(far.size(), QSize(200, 100));
        QVERIFY(area.contains(far.geometry()));
        QCOMPARE(edge.geometry(), QRect(area.right() - 20, 10, 100, 100));
    }

    // A damaged profile's huge rectangle comes back no larger than the
    // screen, and a window is never stored larger than the screen either.
    void hugeRectangleIsFittedToTheScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        write(ini(), "[Sklad]\nPlaceNormPosL=0\nPlaceNormPosT=0\nPlaceNormPosR=32767\nPlaceNormPosB=32767\n");
        QWidget w;
        TPlacement p(&w, "Sklad", ini());
        p.LoadPlacement();
        QVERIFY(area.contains(w.geometry()));
        w.setGeometry(area.left(), area.top(), area.width() + 3000, area.height() + 3000);
        QCOMPARE(p.SavePlacement(), QString());
        QWidget again;
        TPlacement(&again, "Sklad", ini()).LoadPlacement();
        QCOMPARE(again.size(), area.size());
        QVERIFY(readAll(ini()).contains("PlaceNormPosR=" + QByteArray::number(area.left() + area.width()) + "\n"));
    }

    void defaults_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("right less than left") << QByteArray("[Form1]\nPlaceNormPosL=500\nPlaceNormPosT=10\n"
                                                            "PlaceNormPosR=400\nPlaceNormPosB=300\n");
        QTest::newRow("bottom above top") << QByteArray("[Form1]\nPlaceNormPosL=5\nPlaceNormPosT=400\n"
                                                        "PlaceNormPosR=400\nPlaceNormPosB=300\n");
        QTest::newRow("unreadable values") << QByteArray("[Form1]\nPlaceNormPosL=left\nPlaceNormPosT=\n"
                                                         "PlaceNormPosR=0x\nPlaceNormPosB=9999999999\n");
    }
    // The window opens at the defaults (left WLeft, top WTop, its design size)
    // or keeps its design place.
    void defaults()
    {
        QFETCH(QByteArray, file);
        if (!file.isNull())
            write(ini(), file);
        QWidget w;
        w.resize(812, 267);
        TPlacement p(&w, "Form1", ini());
        p.WLeft = 3;
        p.WTop = 4;
        p.LoadPlacement();
        if (QTest::currentDataTag() == QByteArray("right less than left") ||
            QTest::currentDataTag() == QByteArray("bottom above top"))
            QCOMPARE(w.size(), QSize(812, 267)); // the stored placement is ignored
        else
            QCOMPARE(w.geometry(), QRect(3, 4, 812, 267));
    }

    void garbageNeverCrashes()
    {
        QRandomGenerator random(51);
        for (int round = 0; round < 200; ++round) {
            QByteArray junk;
            const int n = int(random.bounded(400));
            for (int i = 0; i < n; ++i) {
                static const char pieces[] = "[]=\r\n;$0xX-+9aF PlaceNormPosLRTB Form1\x00\xff";
                junk += random.bounded(4) ? pieces[random.bounded(int(sizeof pieces - 1))] : char(random.bounded(256));
            }
            write(ini(), junk);
            QWidget w;
            w.resize(200, 100);
            TPlacement p(&w, "Form1", ini());
            p.LoadPlacement();
            QVERIFY(w.width() >= 1 && w.height() >= 1);
            QCOMPARE(p.SavePlacement(), QString());
        }
    }

    // A window closed while maximised comes back at its normal rectangle, not maximised.
    void maximisedComesBackNormal()
    {
        QWidget w;
        w.setGeometry(40, 50, 320, 240);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect normal = w.geometry();
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        TPlacement out(&w, "LST", ini());
        QCOMPARE(out.SavePlacement(), QString());
        QWidget again;
        TPlacement in(&again, "LST", ini());
        in.LoadPlacement();
        QCOMPARE(again.geometry(), normal);
        QVERIFY(!again.isMaximized());
    }

    void unwritableFile()
    {
        QVERIFY(QDir().mkpath(ini())); // a folder where the file should be
        QWidget w;
        TPlacement p(&w, "Form1", ini());
        QCOMPARE(p.SavePlacement(), "Unable to write to " + QDir::toNativeSeparators(ini()));
        QDir(ini()).removeRecursively();
    }

    void location()
    {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/cfg"));
        QCOMPARE(TPlacement::ResolveProfilePath("Zelvar"), m_dir.path() + "/cfg/Zelvar");
        QWidget w;
        w.setObjectName("Sklad");
        TPlacement p(&w); // section from the owner's name, file "Zelvar"
        QCOMPARE(p.Section, QString("Sklad"));
        QCOMPARE(p.SavePlacement(), QString());
        QVERIFY(readAll(m_dir.path() + "/cfg/Zelvar").startsWith("[Sklad]\n"));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(TPlacement::ResolveProfilePath("Zelvar"), QDir::homePath() + "/.config/Zelvar");
        QCOMPARE(TPlacement::ResolveProfilePath("/abs/file"), QString("/abs/file"));
        if (!saved.isNull())
            qputenv("XDG_CONFIG_HOME", saved);
    }

    // The store reads once and writes only what changed, onto the file as it
    // is on disk at the save: another writer's keys survive, a save with
    // nothing changed writes nothing, a failed save keeps its changes.
    void storeWritesOnlyItsChanges()
    {
        write(ini(), "; mine\n[Recent]\nFile1=/a.M51\n[Coverage]\nShow=0\n");
        ProfileStore store(ini());
        QCOMPARE(store.recent(10).files, QStringList{"/a.M51"});
        QCOMPARE(store.coverageChoice("Show"), std::optional<bool>(false));
        QCOMPARE(store.coverageChoice("KeepAcrossRuns"), std::nullopt);
        store.setCoverageChoice("Show", false); // as stored: nothing to write
        QFile::remove(ini());
        QCOMPARE(store.save(), QString());
        QVERIFY(!QFile::exists(ini()));

        write(ini(), "; mine\n[Simulator]\nKind=s51\n");
        store.setSdccProgram("/opt/sdcc/bin/sdcc");
        ProfileStore::WindowPlace place;
        place.left = 10;
        place.right = 110;
        store.setWindowPlace("LST", place);
        QCOMPARE(store.save(), QString());
        QCOMPARE(readAll(ini()), QByteArray("; mine\n[Simulator]\nKind=s51\n\n[C]\nSdcc=/opt/sdcc/bin/sdcc\n"
                                            "\n[LST]\nPlaceNormPosL=10\nPlaceNormPosR=110\n"));
        QVERIFY(store.s51Simulator());
        QCOMPARE(store.windowPlace("lst").right, std::optional<qint64>(110));

        QFile::remove(ini());
        QVERIFY(QDir().mkpath(ini())); // a folder where the file should be
        store.setS51Simulator(false);
        QCOMPARE(store.save(), "Unable to write to " + QDir::toNativeSeparators(ini()));
        QDir(ini()).removeRecursively();
        QCOMPARE(store.save(), QString());
        QCOMPARE(readAll(ini()), QByteArray("[Simulator]\nKind=core\n"));
    }
};

QTEST_MAIN(TestPlacement)
#include "tst_placement.moc"
