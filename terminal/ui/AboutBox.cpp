#include "terminal/ui/AboutBox.h"

#include "terminal/ui/UiText.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

const char* const MainCaption = "Terminal v1.6";

// The icon lives in the library's resources, which a static library must
// register by hand.
void initTerminalResources()
{
    Q_INIT_RESOURCE(terminal);
}

namespace {
// The small animation of the about box: a byte running along a serial line.
class TLineAnimation : public QWidget {
public:
    explicit TLineAnimation(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(200, 22);
        m_timer.setInterval(60);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 200;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int bits = 10;  // start, eight data bits, stop
        const quint8 value = 'T';
        QPen pen(QColor(0, 110, 0), 2);
        p.setPen(pen);
        QPolygon wave;
        const int cell = 10;
        for (int x = -cell * bits; x < width() + cell; x += cell) {
            const int pos = ((x + m_step) / cell) % (bits + 4);
            bool level = true;
            if (pos == 0)
                level = false;
            else if (pos >= 1 && pos <= 8)
                level = (value >> (pos - 1)) & 1;
            const int y = level ? 4 : height() - 4;
            const int x0 = x - (m_step % cell);
            wave << QPoint(x0, y) << QPoint(x0 + cell, y);
        }
        p.drawPolyline(wave);
    }

private:
    QTimer m_timer;
    int m_step = 0;
};
}  // namespace

TAboutFrm::TAboutFrm(QWidget* parent) : QDialog(parent)
{
    initTerminalResources();
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(QStringLiteral("About Terminal"));
    setFixedSize(260, 193);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(4);
    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/terminal/terminal.xpm")).pixmap(32, 32));
    head->addWidget(icon);
    auto* name = new QLabel(QString::fromLatin1(MainCaption), this);
    QFont big = name->font();
    big.setPointSize(16);
    big.setBold(true);
    name->setFont(big);
    head->addWidget(name, 1);
    layout->addLayout(head);
    layout->addWidget(new TLineAnimation(this), 0, Qt::AlignHCenter);
    auto* credits = new QLabel(QStringLiteral("A serial-line terminal for 8051 boards, built with Qt."), this);
    credits->setWordWrap(true);
    layout->addWidget(credits);
    auto* link1 = new QLabel(QStringLiteral("<a href=\"https://www.qt.io\">www.qt.io</a>"), this);
    link1->setOpenExternalLinks(true);
    auto* link2 = new QLabel(
        QStringLiteral("<a href=\"https://en.wikipedia.org/wiki/Intel_8051\">About the 8051 family</a>"), this);
    link2->setOpenExternalLinks(true);
    layout->addWidget(link1);
    layout->addWidget(link2);
    layout->addStretch(1);
    ExitBtn = new QPushButton(QStringLiteral("&Exit"), this);
    ExitBtn->setToolTip(hint("close this box"));
    ExitBtn->setDefault(true);
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ExitBtn, 0, Qt::AlignHCenter);
}
