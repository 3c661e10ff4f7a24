// The splash picture's decoder: libjpeg through its own API, with fatal
// errors coming back as a null image and a reason instead of ending the program.
#include "ide/JpegImage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray solid(QColor colour, int w = 64, int h = 48, bool grey = false)
{
    QImage image(w, h, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    image.fill(colour);
    return encodeJpeg(image, 95).bytes;
}

// The baseline frame header (SOF0): FF C0, length, precision, height, width.
qsizetype frameHeader(const QByteArray& jpeg)
{
    return jpeg.indexOf(QByteArray("\xFF\xC0", 2));
}

void setSize(QByteArray& jpeg, int w, int h)
{
    const qsizetype sof = frameHeader(jpeg);
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w);
}

bool near(QRgb a, QColor b)
{
    return std::abs(qRed(a) - b.red()) < 8 && std::abs(qGreen(a) - b.green()) < 8 && std::abs(qBlue(a) - b.blue()) < 8;
}

} // namespace

class TestJpegImage : public QObject {
    Q_OBJECT
private slots:
    void shippedSplash();
    void colourAndGrey_data();
    void colourAndGrey();
    void corrupt_data();
    void corrupt();
    void truncatedScanStillShows();
    void missingFile();
    void nullImageIsNotEncoded();
};

void TestJpegImage::shippedSplash()
{
    const auto [image, error] = decodeJpegFile(ZELVAR_RESOURCES "/splash.jpg");
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(734, 490));
    QCOMPARE(error, QString());
    // A picture, not a flat fill: the corners and the middle differ.
    QVERIFY(image.pixel(0, 0) != image.pixel(367, 262));
}

void TestJpegImage::colourAndGrey_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("grey");
    QTest::newRow("red") << QColor(220, 30, 40) << false;
    QTest::newRow("teal") << QColor(0, 128, 128) << false;
    QTest::newRow("grey") << QColor(128, 128, 128) << true;
    QTest::newRow("white") << QColor(255, 255, 255) << true;
}

void TestJpegImage::colourAndGrey()
{
    QFETCH(QColor, colour);
    QFETCH(bool, grey);
    const QByteArray jpeg = solid(colour, 33, 17, grey);
    QVERIFY(jpeg.startsWith("\xFF\xD8"));
    const auto [image, error] = decodeJpeg(jpeg);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(33, 17));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QVERIFY(near(image.pixel(5, 5), colour));
    QVERIFY(near(image.pixel(32, 16), colour));
}

void TestJpegImage::corrupt_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray good = solid(Qt::blue);
    QByteArray zeroWidth = good;
    setSize(zeroWidth, 0, 48);
    QByteArray enormous = good;
    setSize(enormous, 65000, 65000);
    QByteArray random(5000, 0);
    for (int k = 0; k < random.size(); ++k)
        random[k] = char((k * 7919 + 13) % 251);

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a jpeg") << QByteArray("GIF89a this is no jpeg");
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("header cut short") << good.left(frameHeader(good) + 4);
    QTest::newRow("zero width") << zeroWidth;
    QTest::newRow("enormous") << enormous;
    QTest::newRow("random after the start marker") << (QByteArray("\xFF\xD8\xFF\xE0", 4) + random);
}

void TestJpegImage::corrupt()
{
    QFETCH(QByteArray, data);
    const auto [image, error] = decodeJpeg(data);
    QVERIFY(image.isNull());
    QVERIFY(!error.isEmpty());
}

void TestJpegImage::truncatedScanStillShows()
{
    QFile file(ZELVAR_RESOURCES "/splash.jpg");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const auto [image, error] = decodeJpeg(whole.left(whole.size() / 2));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(734, 490));
    QVERIFY(!error.isEmpty()); // libjpeg's warning about the premature end
}

void TestJpegImage::missingFile()
{
    QTemporaryDir dir;
    const auto [image, error] = decodeJpegFile(dir.filePath("none.jpg"));
    QVERIFY(image.isNull());
    QVERIFY(error.startsWith("Cannot open file"));
}

void TestJpegImage::nullImageIsNotEncoded()
{
    const auto [bytes, error] = encodeJpeg(QImage(), 90);
    QVERIFY(bytes.isEmpty());
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(TestJpegImage)
#include "tst_jpegimage.moc"
