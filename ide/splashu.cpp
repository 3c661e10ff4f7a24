#include "ide/splashu.h"

#include "ide/JpegImage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel* makeLabel(const QString& text, QWidget* parent, int pixelSize, bool underline, const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setUnderline(underline);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->adjustSize();
    return label;
}

} // namespace

TSplash::TSplash(const QString& picture, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Splash"));
    setWindowTitle(QStringLiteral("Zelvar"));
    setFixedSize(597, 450);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0, 255, 255));
    setPalette(palette);

    // The picture is larger than the window; it is centred and cut at the edges.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, width(), height());
    Image1->setAlignment(Qt::AlignCenter);
    const QImage image = decodeJpegFile(picture).image;  // none: the window without its picture
    if (!image.isNull()) {
        const QRect source((image.width() - width()) / 2, (image.height() - height()) / 2, width(), height());
        Image1->setPixmap(QPixmap::fromImage(image.copy(source)));
    }

    const QColor yellow(255, 255, 0);
    Title = makeLabel(QStringLiteral("Zelvar"), this, 32, true, yellow);
    Title->move(24, 18);
    Version = makeLabel(QStringLiteral("ver.3.1"), this, 23, false, yellow);
    Version->move(26, 18 + Title->height() + 2);
    Label1 = makeLabel(QStringLiteral("Compiling:"), this, 13, false, yellow);
    Label2 = makeLabel(QString(), this, 13, false, yellow);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));

    Button1 = new QPushButton(QStringLiteral("START"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setFixedSize(97, 30);
    Button1->move(width() - Button1->width() - 20, height() - Button1->height() - 18);
    connect(Button1, &QPushButton::clicked, this, &TSplash::Button1Click);

    FormCreate();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplash::FormCreate()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    Label2->setText(buildDateText(program.lastModified()));
    Label2->adjustSize();
    Label1->move(24, height() - 24 - Label1->height());
    Label2->move(Label1->x() + Label1->width() + 8, Label1->y());
}

void TSplash::Button1Click()
{
    accept();
}

QString TSplash::buildDateText(const QDateTime& modified)
{
    const QDateTime local = modified.toLocalTime();
    const QLocale locale;
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ')
         + locale.toString(local.time(), QLocale::LongFormat);
}
