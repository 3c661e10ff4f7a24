#include "board/view/PartViews.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace board {

namespace {

QString PinName(Pin pin)
{
    return QString::fromStdString(FormatPin(pin));
}

} // namespace

// ---- LEDs -------------------------------------------------------------------------

LedView::LedView(const LedPart& part, QWidget* parent) : QWidget(parent), m_part(part), m_lit(part.pins().size())
{
    setToolTip(QString::fromStdString(FormatPins(part.pins())) + (part.activeLow() ? tr(": lit when low") : tr(": lit when high")));
}

QSize LedView::sizeHint() const
{
    return {static_cast<int>(m_lit.size()) * 28 + 4, 44};
}

void LedView::refresh()
{
    bool changed = false;
    for (size_t i = 0; i < m_lit.size(); ++i) {
        changed |= m_lit[i] != m_part.lit(i);
        m_lit[i] = m_part.lit(i);
    }
    if (changed)
        update();
}

void LedView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const auto pins = m_part.pins();
    // Three quarters of the pane's font, which is given in points or (the
    // windows' fixed fonts) in pixels.
    QFont small = font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.75);
    else if (small.pixelSize() > 0)
        small.setPixelSize(std::max(1, small.pixelSize() * 3 / 4));
    p.setFont(small);
    // A bar shows its highest pin at the left, as the port's bits are written.
    for (size_t i = 0; i < m_lit.size(); ++i) {
        const size_t pin = m_part.kind() == PartKind::LedBar ? m_lit.size() - 1 - i : i;
        const QRectF led(4 + static_cast<double>(i) * 28, 4, 20, 20);
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(m_lit[pin] ? QColor(255, 40, 30) : QColor(90, 20, 20));
        p.drawEllipse(led);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRectF(led.left() - 4, 26, 28, 14), Qt::AlignCenter, PinName(pins[pin]).mid(1));
    }
}

// ---- 7-segment display -------------------------------------------------------------

SevenSegView::SevenSegView(const SevenSegPart& part, QWidget* parent)
    : QWidget(parent), m_part(part), m_brightness(part.config().digits)
{
    setToolTip(tr("Segments %1, digits %2")
                   .arg(QString::fromStdString(FormatPins(part.config().segments)),
                        part.config().select.empty() ? tr("direct") : QString::fromStdString(FormatPins(part.config().select))));
}

QSize SevenSegView::sizeHint() const
{
    return {static_cast<int>(m_brightness.size()) * 44 + 8, 72};
}

void SevenSegView::refresh()
{
    for (unsigned d = 0; d < m_brightness.size(); ++d)
        m_brightness[d] = m_part.brightness(d);
    m_text = QString::fromStdString(m_part.text());
    update();
}

void SevenSegView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(20, 20, 20));
    p.setPen(Qt::NoPen);
    // Segments a-g of a digit 30 wide and 56 high at (x, 8), slanted a little.
    const double w = 30, h = 56, t = 5;
    const QRectF bars[7] = {
        {t, 0, w - 2 * t, t},          {w - t, t, t, h / 2 - 1.5 * t}, {w - t, h / 2 + t / 2, t, h / 2 - 1.5 * t},
        {t, h - t, w - 2 * t, t},      {0, h / 2 + t / 2, t, h / 2 - 1.5 * t}, {0, t, t, h / 2 - 1.5 * t},
        {t, h / 2 - t / 2, w - 2 * t, t},
    };
    for (size_t d = 0; d < m_brightness.size(); ++d) {
        const double x = 8 + static_cast<double>(d) * 44;
        for (int s = 0; s < 8; ++s) {
            const float b = m_brightness[d][s];
            p.setBrush(QColor::fromRgbF(0.25f + 0.75f * b, 0.05f + 0.1f * b, 0.05f, 1.0f));
            if (s < 7)
                p.drawRoundedRect(bars[s].translated(x, 8), 2, 2);
            else
                p.drawEllipse(QRectF(x + w + 2, 8 + h - t, t, t));
        }
    }
}

// ---- LCD -------------------------------------------------------------------------

LcdView::LcdView(const LcdPart& part, QWidget* parent) : QWidget(parent), m_part(part)
{
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(16);
    setFont(mono);
    const auto& c = part.lcd().config();
    setToolTip(tr("HD44780 %1x%2, data %3").arg(c.columns).arg(c.rows).arg(QString::fromStdString(FormatPins(c.data))));
}

QSize LcdView::sizeHint() const
{
    const auto& c = m_part.lcd().config();
    return {static_cast<int>(c.columns) * 13 + 20, static_cast<int>(c.rows) * 22 + 16};
}

void LcdView::refresh()
{
    const Lcd& lcd = m_part.lcd();
    const unsigned rows = lcd.config().rows;
    std::vector<std::vector<uint8_t>> codes(rows);
    QStringList text;
    for (unsigned r = 0; r < rows; ++r) {
        codes[r] = lcd.rowCodes(r);
        text << QString::fromStdString(lcd.rowText(r));
    }
    const auto cursor = lcd.cursorOn() || lcd.blinkOn() ? lcd.cursorPosition() : std::pair<int, int>{-1, -1};
    if (codes == m_codes && cursor == m_cursor && m_on == lcd.displayOn())
        return;
    m_codes = std::move(codes);
    m_rows = text;
    m_cursor = cursor;
    m_on = lcd.displayOn();
    update();
}

void LcdView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(40, 60, 30));
    const QRect glass = rect().adjusted(6, 6, -6, -6);
    p.fillRect(glass, m_on ? QColor(150, 190, 60) : QColor(120, 150, 50));
    const QColor ink(20, 40, 20);
    const Lcd& lcd = m_part.lcd();
    for (size_t r = 0; r < m_codes.size(); ++r) {
        for (size_t c = 0; c < m_codes[r].size(); ++c) {
            const QRect cell(glass.left() + 4 + static_cast<int>(c) * 13, glass.top() + 3 + static_cast<int>(r) * 22, 12, 20);
            const uint8_t code = m_codes[r][c];
            if (code < 0x10) {  // the program's own character: its CGRAM pixels
                const auto glyph = lcd.cgramGlyph(code);
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 5; ++x)
                        if (glyph[y] & (0x10 >> x))
                            p.fillRect(cell.left() + 1 + x * 2, cell.top() + 2 + y * 2, 2, 2, ink);
            } else if (code != 0x20) {
                p.setPen(ink);
                p.drawText(cell, Qt::AlignCenter, QString::fromStdString(Lcd::CharacterText(code)));
            }
            if (m_cursor == std::pair<int, int>{static_cast<int>(r), static_cast<int>(c)})
                p.fillRect(cell.left() + 1, cell.bottom() - 1, 10, 2, ink);
        }
    }
}

// ---- logic trace -----------------------------------------------------------------

TraceView::TraceView(const TracePart& part, QWidget* parent) : QWidget(parent), m_part(part)
{
    setMinimumWidth(240);
}

QSize TraceView::sizeHint() const
{
    return {320, static_cast<int>(m_part.pins().size()) * 22 + 6};
}

void TraceView::refresh(uint64_t now, uint64_t span)
{
    m_now = now;
    m_span = span ? span : 1;
    update();
}

void TraceView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(16, 24, 16));
    const auto pins = m_part.pins();
    const int left = 44, width = std::max(1, this->width() - left - 4);
    const uint64_t from = m_now > m_span ? m_now - m_span : 0;
    auto xOf = [&](uint64_t cycle) {
        return left + static_cast<int>(static_cast<double>(cycle - from) / static_cast<double>(m_span) * width);
    };
    const auto& edges = m_part.edges();
    for (size_t i = 0; i < pins.size(); ++i) {
        const int top = 4 + static_cast<int>(i) * 22, high = top + 2, low = top + 16;
        p.setPen(QColor(160, 200, 160));
        p.drawText(QRect(2, top, left - 4, 20), Qt::AlignVCenter | Qt::AlignLeft, PinName(pins[i]));
        p.setPen(QPen(QColor(80, 255, 80), 1.5));
        const uint8_t bit = static_cast<uint8_t>(1u << i);
        bool level = m_part.levelsAt(from) & bit;
        int x = left;
        auto it = std::upper_bound(edges.begin(), edges.end(), from, [](uint64_t c, const TracePart::Edge& e) { return c < e.cycle; });
        for (; it != edges.end() && it->cycle <= m_now; ++it) {
            const bool next = it->levels & bit;
            if (next == level)
                continue;
            const int ex = xOf(it->cycle);
            p.drawLine(x, level ? high : low, ex, level ? high : low);
            p.drawLine(ex, high, ex, low);
            x = ex;
            level = next;
        }
        p.drawLine(x, level ? high : low, left + width, level ? high : low);
    }
}

} // namespace board
